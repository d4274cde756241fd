#ifndef CURLHANDLES_H
#define CURLHANDLES_H

#include <curl/curl.h>

#include <memory>

// Owners of libcurl's C resources.
struct CurlEasyDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlSlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlMimeDeleter
{
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
// Its easy handles must be removed first.
struct CurlMultiDeleter
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlMime = std::unique_ptr<curl_mime, CurlMimeDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;

// Appends @p line to @p list; on failure the list stays as it was and false is returned.
bool appendCurlHeader(CurlSlist& list, const char* line);

#endif
