#include "proxykind.h"

std::optional<curl_proxytype> curlProxyType(std::string_view word)
{
    if (word == "http")
        return CURLPROXY_HTTP;
    if (word == "http_1_0")
        return CURLPROXY_HTTP_1_0;
    if (word == "sock4")
        return CURLPROXY_SOCKS4;
    if (word == "sock5")
        return CURLPROXY_SOCKS5;
    return std::nullopt;
}
