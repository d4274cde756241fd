#include "curluploader.h"

#include "cloudclientasynchandler.h"
#include "proxykind.h"
#include "transportsecurity.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Large enough that big images go out in few system calls.
constexpr long uploadBufferSize = 512 * 1024;

size_t appendToReply(char* data, size_t size, size_t count, void* reply)
{
    static_cast<QByteArray*>(reply)->append(data, int(size * count));
    return size * count;
}

int checkAbort(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(abort)->load() ? 1 : 0;
}

// A header value ends at the first byte that would end the header line.
QByteArray headerSafe(const QByteArray& value)
{
    int end = 0;
    while (end < value.size() && value[end] != '\0' && value[end] != '\r' && value[end] != '\n')
        ++end;
    return value.left(end);
}

} // namespace

UploadSettings::UploadSettings(const CloudClientAsyncHandler& handler, long requestTimeout, const QString& caFile)
    : jsessionid(handler.jsessionid)
    , proxyURL(handler.proxyURL)
    , proxyUser(handler.proxyUser)
    , proxyUserPassword(handler.proxyUserPassword)
    , proxyType(handler.proxyType)
    , assistUrl(handler.assistUrl)
    , requestTimeout(requestTimeout)
    , caFile(QFile::encodeName(caFile))
{
}

bool isSuccessStatus(long status)
{
    return status >= 200 && status < 300;
}

CurlUploader::CurlUploader(const UploadSettings& settings, const std::atomic<bool>& abort)
    : curl(curl_easy_init())
{
    if (!curl)
        return;
    CURL* c = curl.get();
    // Only http and https, certificates checked. A handle that cannot be
    // secured is dropped, so that every file fails as with an unreachable cloud.
    if (applyTransportSecurity(c, settings.caFile.constData()) != CURLE_OK) {
        curl.reset();
        return;
    }

    // libcurl copies every string option, so the temporaries below may go.
    curl_easy_setopt(c, CURLOPT_URL, headerSafe(settings.assistUrl).constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, uploadBufferSize);
    curl_easy_setopt(c, CURLOPT_COOKIE, ("JSESSIONID=" + headerSafe(settings.jsessionid)).constData());
    // An empty Expect: stops libcurl from waiting for "100 Continue" before each body.
    headers.reset(curl_slist_append(nullptr, "Expect:"));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, appendToReply);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, checkAbort);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&abort));
    // A stalled server fails the file instead of holding the task for good; the
    // options hold for every transfer of the handle. libcurl averages the speed
    // over its last few seconds, so a stall right after bytes moved fails that
    // much later than the bound.
    if (settings.requestTimeout > 0) {
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, settings.requestTimeout);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, settings.requestTimeout);
    }

    // No proxy URL means no proxy at all, not even one from the environment.
    curl_easy_setopt(c, CURLOPT_PROXY, headerSafe(settings.proxyURL).constData());
    if (!settings.proxyURL.isEmpty()) {
        if (!settings.proxyUser.isEmpty())
            curl_easy_setopt(c, CURLOPT_PROXYUSERPWD, settings.proxyUserPassword.constData());
        if (const std::optional<curl_proxytype> type = curlProxyType(settings.proxyType.toStdString()))
            curl_easy_setopt(c, CURLOPT_PROXYTYPE, long(*type));
    }
}

CurlUploader::~CurlUploader() = default;

bool CurlUploader::isUsable() const
{
    return curl != nullptr;
}

std::optional<QByteArray> CurlUploader::upload(const QString& path)
{
    const QFileInfo info(path);
    if (!curl || !info.isFile() || !info.isReadable())
        return std::nullopt;

    CurlMime next(curl_mime_init(curl.get()));
    curl_mimepart* part = next ? curl_mime_addpart(next.get()) : nullptr;
    if (!part || curl_mime_name(part, "file") != CURLE_OK
        || curl_mime_filedata(part, QFile::encodeName(path).constData()) != CURLE_OK
        || curl_mime_filename(part, info.fileName().toUtf8().constData()) != CURLE_OK)
        return std::nullopt;
    // Bind the new form before the old one goes: the handle still points at the old one.
    curl_easy_setopt(curl.get(), CURLOPT_MIMEPOST, next.get());
    form = std::move(next);

    reply.clear();
    const CURLcode result = curl_easy_perform(curl.get());
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || !isSuccessStatus(status))
        return std::nullopt;
    return reply;
}
