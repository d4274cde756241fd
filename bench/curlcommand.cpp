#include "curlcommand.h"

#include <QList>

QStringList curlUploadArguments(const QStringList& files, const QString& url, const QByteArray& sessionId)
{
    const QString cookie = QStringLiteral("JSESSIONID=") + QString::fromLatin1(sessionId);
    QStringList arguments;
    for (const QString& file : files) {
        if (!arguments.isEmpty())
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
