#ifndef UPLOADINPUT_H
#define UPLOADINPUT_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class CloudClientAsyncHandler;
class HttpUploadFile;

// Widget-free pieces of starting an upload task.

// True when any cell of any row equals @p text exactly.
bool tableHoldsText(const QVector<QStringList>& rows, const QString& text);

// The last part of @p path split at '/', empty parts kept: "a/b/" gives "".
QString folderNameOf(const QString& path);

// Every entry below @p path at any depth, sub-folders included, without hidden
// entries and without entering linked folders; empty when @p path is not an
// existing folder. Order is the file system's.
QStringList folderEntries(const QString& path);

// Copies the session id (up to its first zero byte), the proxy settings and the
// upload endpoint of @p client into @p handler, with @p extraData.
void writeHandlerSettings(CloudClientAsyncHandler& handler, const HttpUploadFile& client,
                          const QByteArray& extraData);

#endif
