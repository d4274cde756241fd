#ifndef CLOUDREQUEST_H
#define CLOUDREQUEST_H

#include <string>

// Proxy applied to a request when url is not empty.
struct CloudProxy
{
    std::string url;
    std::string userPwd;  // "user:password"; applied when not empty
    std::string kind;     // "http", "http_1_0", "sock4", "sock5"; anything else: libcurl's default
};

struct CloudRequest
{
    std::string url;
    std::string sessionId;         // sent as "Cookie:JSESSIONID=<id>", also when empty; cut at CR, LF or NUL
    const char* postBody = nullptr;  // set: a POST of this NUL-terminated JSON text; null: a GET
    CloudProxy proxy;
    // 0: no bound. Otherwise the connect timeout, and the time the transfer may
    // stall before it fails; libcurl averages speed over about five seconds, so
    // a POST whose body went out at once fails up to that much later.
    long timeoutSeconds = 0;
    // PEM file of the CAs trusted over https, in the local file encoding; empty:
    // libcurl's default store. One that cannot be read fails the request unsent.
    std::string caFile{};
};

struct CloudReply
{
    bool completed = false;  // curl_easy_perform returned CURLE_OK
    long status = 0;         // HTTP status of the last response; 0 when none arrived
    std::string body;        // what arrived, also after a broken transfer; empty for a POST
};

// Runs one blocking request on a handle of its own. A failed GET prints
// "curl_easy_perform() failed: <reason>" to stderr; a POST prints nothing and
// discards the reply body.
CloudReply performCloudRequest(const CloudRequest& request);

// True when the transfer completed with a 2xx status.
inline bool isSuccessful(const CloudReply& reply)
{
    return reply.completed && reply.status >= 200 && reply.status < 300;
}

#endif
