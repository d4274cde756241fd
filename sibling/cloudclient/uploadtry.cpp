#include "uploadtry.h"

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds firstPause{500};
constexpr std::chrono::milliseconds longestPause{5000};

bool isTransientStatus(long status)
{
    return status == 408 || status == 429 || (status >= 500 && status < 600);
}

} // namespace

bool isSuccessStatus(long status)
{
    return status >= 200 && status < 300;
}

UploadTry classifyUploadTry(CURLcode result, long status)
{
    if (result == CURLE_OK) {
        if (isSuccessStatus(status))
            return UploadTry::Sent;
        return isTransientStatus(status) ? UploadTry::Transient : UploadTry::Refused;
    }
    if (isSuccessStatus(status))
        return UploadTry::Refused;
    switch (result) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return UploadTry::Unreachable;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_HTTP2_STREAM:
        return UploadTry::Transient;
    default:
        return UploadTry::Refused;
    }
}

std::chrono::milliseconds retryPause(int retry, long retryAfterSeconds)
{
    // Doubling stops long before the shift could overflow.
    const int doublings = std::clamp(retry - 1, 0, 8);
    const std::chrono::milliseconds backoff = firstPause * (1 << doublings);
    const std::chrono::milliseconds asked{retryAfterSeconds > 0 ? std::min(retryAfterSeconds, 3600L) * 1000 : 0};
    return std::min(std::max(backoff, asked), longestPause);
}
