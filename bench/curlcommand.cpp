#include "curlcommand.h"

#include <QList>

QStringList curlUploadArguments(const QStringList& files, const QString& url, const QByteArray& sessionId,
                                int parallel)
{
    const QString cookie = QStringLiteral("JSESSIONID=") + QString::fromLatin1(sessionId);
    QStringList arguments;
    if (parallel > 1)
        arguments << QStringLiteral("--parallel") << QStringLiteral("--parallel-max") << QString::number(parallel);
    for (int i = 0; i < files.size(); ++i) {
        const QString& file = files.at(i);
        if (i > 0)
            arguments << QStringLiteral("--next");
        // Quoted, so that commas and semicolons in the path stay part of it. The
        // empty Expect matches the cloud client, which never waits for 100 Continue.
        QString quoted = file;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        arguments << QStringLiteral("--silent") << QStringLiteral("--output") << QStringLiteral("/dev/null")
                  << QStringLiteral("--write-out") << QStringLiteral("%{http_code}\\n")
                  << QStringLiteral("--header") << QStringLiteral("Expect:")
                  << QStringLiteral("--cookie") << cookie
                  << QStringLiteral("--form") << QStringLiteral("file=@\"%1\"").arg(quoted) << url;
    }
    return arguments;
}

int succeededUploads(const QByteArray& curlOutput)
{
    int succeeded = 0;
    const QList<QByteArray> lines = curlOutput.split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray status = line.trimmed();
        if (status.size() == 3 && status.startsWith('2'))
            ++succeeded;
    }
    return succeeded;
}
