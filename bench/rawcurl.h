#ifndef RAWCURL_H
#define RAWCURL_H

#include <string>

// The least a program can do to GET @p url with libcurl: a fresh easy handle,
// the session cookie, the body collected into a string. The baseline against
// which the form's own requests are measured. Empty on any failure.
std::string rawCurlGet(const std::string& url, const std::string& sessionId);

#endif
