#include "rawcurl.h"

#include "curlhandles.h"

namespace {

size_t collect(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

} // namespace

std::string rawCurlGet(const std::string& url, const std::string& sessionId)
{
    std::string body;
    const CurlEasy curl(curl_easy_init());
    if (!curl)
        return body;
    const std::string cookie = "JSESSIONID=" + sessionId;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_COOKIE, cookie.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(curl.get()) != CURLE_OK)
        body.clear();
    return body;
}
