#include "curluploader.h"

#include "cloudclientasynchandler.h"
#include "headervalue.h"
#include "proxykind.h"
#include "transportsecurity.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace {

// Large enough that big images go out in few system calls.
constexpr long uploadBufferSize = 512 * 1024;

// No exception may cross libcurl's C frames: a reply that does not fit ends
// its transfer with a write error instead.
size_t appendToReply(char* data, size_t size, size_t count, void* reply) noexcept
{
    const size_t bytes = size * count;
    auto* buffer = static_cast<QByteArray*>(reply);
    if (bytes > size_t(std::numeric_limits<int>::max() - buffer->size()))
        return 0;
    try {
        buffer->append(data, int(bytes));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return bytes;
}

QByteArray headerSafe(const QByteArray& value)
{
    return value.left(int(headerValue(std::string_view(value.constData(), size_t(value.size()))).size()));
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

CurlUploader::CurlUploader(const UploadSettings& settings)
    : curl(curl_easy_init())
{
    if (!curl)
        return;
    CURL* c = curl.get();
    // Only http and https, certificates checked. A handle that cannot be
    // secured is dropped, so that every file fails as with an unreachable cloud.
    if (applyTransportSecurity(c, headerSafe(settings.assistUrl).constData(), settings.caFile.constData()) != CURLE_OK) {
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
    // A stalled server fails the try instead of holding the task for good; the
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

bool CurlUploader::prepare(const QString& path)
{
    const QFileInfo info(path);
    if (!curl || !info.isFile() || !info.isReadable())
        return false;

    CurlMime next(curl_mime_init(curl.get()));
    curl_mimepart* part = next ? curl_mime_addpart(next.get()) : nullptr;
    if (!part || curl_mime_name(part, "file") != CURLE_OK
        || curl_mime_filedata(part, QFile::encodeName(path).constData()) != CURLE_OK
        || curl_mime_filename(part, info.fileName().toUtf8().constData()) != CURLE_OK)
        return false;
    // Bind the new form before the old one goes: the handle still points at the old one.
    curl_easy_setopt(curl.get(), CURLOPT_MIMEPOST, next.get());
    form = std::move(next);
    reply.clear();
    return true;
}

UploadTry CurlUploader::outcome(CURLcode result) const
{
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    return classifyUploadTry(result, status);
}

long CurlUploader::retryAfter() const
{
    curl_off_t seconds = 0;
    if (curl_easy_getinfo(curl.get(), CURLINFO_RETRY_AFTER, &seconds) != CURLE_OK || seconds <= 0)
        return -1;
    return long(std::min<curl_off_t>(seconds, std::numeric_limits<long>::max()));
}

QByteArray CurlUploader::takeReply()
{
    return std::exchange(reply, QByteArray());
}
