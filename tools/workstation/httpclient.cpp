#include "httpclient.h"

#include "curlhandles.h"
#include "transportsecurity.h"

#include <QFile>

namespace {

// Returning less than offered makes libcurl end the transfer with a write
// error; an exception must not cross libcurl's C frames.
size_t appendBody(char* data, size_t size, size_t count, void* target)
{
    try {
        static_cast<HttpReply*>(target)->body.append(data, static_cast<int>(size * count));
    } catch (...) {
        return 0;
    }
    return size * count;
}

// A new response (after a redirect, or after "100 Continue") starts with its
// status line; only the last response's headers are kept.
size_t appendHeader(char* data, size_t size, size_t count, void* target)
{
    auto* reply = static_cast<HttpReply*>(target);
    try {
        QByteArray line(data, static_cast<int>(size * count));
        if (line.startsWith("HTTP/"))
            reply->headers.clear();
        line = line.trimmed();
        if (!line.isEmpty())
            reply->headers.append(line);
    } catch (...) {
        return 0;
    }
    return size * count;
}

} // namespace

HttpClient::HttpClient(long timeoutSeconds, const QString& caFile)
    : timeout(timeoutSeconds), caFile(QFile::encodeName(caFile))
{
}

HttpReply HttpClient::get(const QString& url, const QByteArray& sessionId) const
{
    return perform(url, sessionId, nullptr);
}

HttpReply HttpClient::postForm(const QString& url, const FormFields& fields) const
{
    const QByteArray body = encodeFormFields(fields);
    return perform(url, QByteArray(), &body);
}

HttpReply HttpClient::perform(const QString& url, const QByteArray& sessionId, const QByteArray* formBody) const
{
    HttpReply reply;
    CurlEasy curl(curl_easy_init());
    if (!curl) {
        reply.error = QStringLiteral("libcurl cannot make a handle");
        return reply;
    }
    CurlSlist headers;
    if (!sessionId.isEmpty()) {
        const QByteArray cookie = "Cookie: JSESSIONID=" + sessionId;
        headers.reset(curl_slist_append(nullptr, cookie.constData()));
        if (!headers) {
            reply.error = QStringLiteral("libcurl cannot build the headers");
            return reply;
        }
    }
    const QByteArray address = url.toUtf8();
    CURL* c = curl.get();
    if (const CURLcode result = applyTransportSecurity(c, address.constData(), caFile.constData()); result != CURLE_OK) {
        reply.error = QString::fromUtf8(curl_easy_strerror(result));
        return reply;
    }
    curl_easy_setopt(c, CURLOPT_URL, address.constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, appendHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &reply);
    if (headers)
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    if (formBody) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, formBody->constData());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(formBody->size()));
    }
    const CURLcode result = curl_easy_perform(c);
    if (result != CURLE_OK) {
        reply.error = QString::fromUtf8(curl_easy_strerror(result));
        return reply;
    }
    reply.completed = true;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

QByteArray encodeFormFields(const FormFields& fields)
{
    QByteArray body;
    for (const auto& field : fields) {
        if (!body.isEmpty())
            body += '&';
        body += field.first.toPercentEncoding() + '=' + field.second.toPercentEncoding();
    }
    return body;
}
