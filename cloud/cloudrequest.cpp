#include "cloudrequest.h"

#include "curlhandles.h"
#include "headervalue.h"
#include "proxykind.h"
#include "transportsecurity.h"

#include <cstdio>
#include <new>

namespace {

// Appends by length, so NUL bytes in a reply survive. Returning less than
// offered makes libcurl end the transfer with a write error; an exception must
// not cross libcurl's C frames.
size_t appendToReply(char* data, size_t size, size_t count, void* reply)
{
    const size_t length = size * count;
    try {
        static_cast<std::string*>(reply)->append(data, length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

// Swallows a POST's reply, which would otherwise go to the host's stdout.
size_t discardReply(char*, size_t size, size_t count, void*)
{
    return size * count;
}

void applyProxy(CURL* handle, const CloudProxy& proxy)
{
    if (proxy.url.empty())
        return;
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.url.c_str());
    if (!proxy.userPwd.empty())
        curl_easy_setopt(handle, CURLOPT_PROXYUSERPWD, proxy.userPwd.c_str());

    if (const std::optional<curl_proxytype> type = curlProxyType(proxy.kind))
        curl_easy_setopt(handle, CURLOPT_PROXYTYPE, long(*type));
}

} // namespace

CloudReply performCloudRequest(const CloudRequest& request)
{
    CloudReply reply;
    const bool isPost = request.postBody != nullptr;

    // Declared before the handle so that the handle is cleaned up first.
    CurlSlist headers;
    CurlEasy handle(curl_easy_init());
    if (!handle)
        return reply;
    CURL* curl = handle.get();

    appendCurlHeader(headers, ("Cookie:JSESSIONID=" + std::string(headerValue(request.sessionId))).c_str());
    if (isPost)
        appendCurlHeader(headers, "Content-type:application/json");

    // No SIGALRM for name resolution timeouts inside a host process.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const CURLcode secured = applyTransportSecurity(curl, request.url.c_str(), request.caFile.c_str());
    applyProxy(curl, request.proxy);

    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 120L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 120L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // libcurl before 8.3 follows redirects without end, so a server that
    // redirects to itself would block the GUI thread for good; 30 is the
    // limit that later libcurl applies by default.
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
    if (isPost) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.postBody);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardReply);
    } else {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToReply);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    }

    // A stalled server (no byte for timeoutSeconds) fails the request instead
    // of blocking the GUI thread indefinitely.
    if (request.timeoutSeconds > 0) {
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, request.timeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, request.timeoutSeconds);
    }

    // A handle that could not be secured fails as an unreachable service does.
    const CURLcode result = secured != CURLE_OK ? secured : curl_easy_perform(curl);
    reply.completed = result == CURLE_OK;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    if (!reply.completed && !isPost)
        std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(result));
    return reply;
}
