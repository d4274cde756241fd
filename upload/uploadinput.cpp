#include "uploadinput.h"

#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"

#include <QDirIterator>
#include <QFileInfo>

bool tableHoldsText(const QVector<QStringList>& rows, const QString& text)
{
    for (const QStringList& row : rows) {
        if (row.contains(text))
            return true;
    }
    return false;
}

QString folderNameOf(const QString& path)
{
    return path.split(QLatin1Char('/')).constLast();
}

QStringList folderEntries(const QString& path)
{
    QStringList entries;
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return entries;
    QDirIterator it(path, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            entries.append(it.filePath());
    }
    return entries;
}

void writeHandlerSettings(CloudClientAsyncHandler& handler, const HttpUploadFile& client,
                          const QByteArray& extraData)
{
    const QByteArray session = client.getJsessionid();
    const int end = session.indexOf('\0');
    handler.jsessionid = end < 0 ? session : session.left(end);
    handler.proxyURL = client.getProxyURL().toUtf8();
    handler.proxyType = client.getProxyType().toUtf8();
    handler.proxyUser = client.getProxyUser();
    handler.proxyPassword = client.getProxyPassword();
    handler.proxyUserPassword = (handler.proxyUser + QLatin1Char(':') + handler.proxyPassword).toUtf8();
    handler.assistUrl = client.getAssistUrl().toUtf8();
    handler.extraData = extraData;
}
