#ifndef CURLCOMMAND_H
#define CURLCOMMAND_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// Arguments for one run of the curl program that POSTs each file to @p url as
// the multipart part "file", one request per file with --next between them,
// so that all go over one connection; with @p parallel above 1, up to that
// many at once (-Z --parallel-max), each on a connection of its own. Each
// request sends the JSESSIONID cookie, discards the body and writes its HTTP
// status on a line of its own.
QStringList curlUploadArguments(const QStringList& files, const QString& url, const QByteArray& sessionId,
                                int parallel = 1);

// The number of status lines in curl's output that report a 2xx status.
int succeededUploads(const QByteArray& curlOutput);

#endif
