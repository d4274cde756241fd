#include "transportsecurity.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isHttps(const char* url)
{
    return url && ::strncasecmp(url, "https://", 8) == 0;
}

bool isReadableFile(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, R_OK) == 0;
}

} // namespace

CURLcode applyTransportSecurity(CURL* curl, const char* url, const char* caFile)
{
    const bool ownStore = caFile && *caFile;
    if (ownStore && !isReadableFile(caFile))
        return CURLE_SSL_CACERT_BADFILE;

    // Set explicitly rather than trusted to defaults, so that no other code
    // path and no build of libcurl can leave a check off.
    const struct {
        CURLoption option;
        long value;
    } checks[] = {
        {CURLOPT_SSL_VERIFYPEER, 1L},       {CURLOPT_SSL_VERIFYHOST, 2L},
        {CURLOPT_PROXY_SSL_VERIFYPEER, 1L}, {CURLOPT_PROXY_SSL_VERIFYHOST, 2L},
        {CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2)},
    };
    for (const auto& check : checks) {
        if (const CURLcode result = curl_easy_setopt(curl, check.option, check.value); result != CURLE_OK)
            return result;
    }
    // file://, ftp://, dict://, gopher:// and the rest would reach local files or other services.
    if (const CURLcode result = curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"); result != CURLE_OK)
        return result;
    const char* redirects = isHttps(url) ? "https" : "http,https";
    if (const CURLcode result = curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, redirects); result != CURLE_OK)
        return result;
    if (!ownStore)
        return CURLE_OK;
    // libcurl's built-in certificate folder would otherwise be trusted beside the file.
    if (const CURLcode result = curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr); result != CURLE_OK)
        return result;
    return curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
}
