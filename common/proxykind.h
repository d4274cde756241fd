#ifndef PROXYKIND_H
#define PROXYKIND_H

#include <curl/curl.h>

#include <optional>
#include <string_view>

// The libcurl proxy type for a type word, compared whole and case-sensitively:
// "http", "http_1_0", "sock4", "sock5". Any other word: no value, so that
// libcurl's default applies.
std::optional<curl_proxytype> curlProxyType(std::string_view word);

#endif
