#ifndef UPLOADTRY_H
#define UPLOADTRY_H

#include <curl/curl.h>

#include <chrono>

/// What one try of sending a file came to.
enum class UploadTry {
    Sent,         ///< a complete 2xx reply: the service took the file
    Transient,    ///< may go through later: reset or closed before a complete reply, timed out, 408, 429, 5xx
    Unreachable,  ///< nobody took the connection at the address; may go through later, but likely the service is down
    Refused,      ///< would end the same way again: any other status, an unreadable file, TLS or protocol failures
};

/// True for the HTTP statuses that mean the cloud took the file.
bool isSuccessStatus(long status);

/// The try that a transfer ending with @p result and HTTP @p status (0: none received) came to. A 2xx
/// reply that broke off counts as refused: the file reached the service, so it is never sent again.
UploadTry classifyUploadTry(CURLcode result, long status);

/// The pause before retry number @p retry (1 for the first): 0.5 s, doubling each time, or the
/// service's Retry-After of @p retryAfterSeconds when longer (below 0: none); never above 5 s.
std::chrono::milliseconds retryPause(int retry, long retryAfterSeconds);

#endif
