#ifndef HTTPCLIENT_H
#define HTTPCLIENT_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

struct HttpReply
{
    bool completed = false;  // the transfer ended normally (any HTTP status)
    long status = 0;
    QByteArray body;
    QList<QByteArray> headers;  // header lines of the last response, without line ends
    QString error;              // why the transfer did not complete
};

using FormFields = QList<QPair<QByteArray, QByteArray>>;

// Blocking HTTP requests for the host's own talk with the cloud (login,
// reading records back), each on a libcurl handle of its own and bounded in
// time: a host must not hang on a silent service. Over https the certificate
// must verify against @p caFile (PEM; empty: libcurl's default store), as the
// plug-in's own requests do.
class HttpClient
{
public:
    explicit HttpClient(long timeoutSeconds = 20, const QString& caFile = QString());

    // GET, sending the session as the JSESSIONID cookie when not empty.
    HttpReply get(const QString& url, const QByteArray& sessionId = QByteArray()) const;
    // POST of URL-encoded form fields.
    HttpReply postForm(const QString& url, const FormFields& fields) const;

private:
    HttpReply perform(const QString& url, const QByteArray& sessionId, const QByteArray* formBody) const;

    long timeout;
    QByteArray caFile;  // local file encoding
};

// "a=1&b=x%20y": each name and value percent-encoded.
QByteArray encodeFormFields(const FormFields& fields);

#endif
