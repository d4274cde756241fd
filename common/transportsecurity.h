#ifndef TRANSPORTSECURITY_H
#define TRANSPORTSECURITY_H

#include <curl/curl.h>

// Sets @p curl up to speak only http and https, redirects included, with
// libcurl's certificate and host-name checks on. A redirect of an https @p url
// (the one the handle is given) is followed to https only, so that nothing
// sent over TLS goes on in the clear. A non-empty @p caFile (PEM, a path in the
// local file encoding) is then the only trust store; null or empty keeps
// libcurl's default one.
//
// Returns CURLE_OK, or the error that the transfer must end with instead of
// being performed: CURLE_SSL_CACERT_BADFILE when @p caFile is not a readable
// file (plain http fails too: a broken trust setting never falls back to the
// default store), or libcurl's refusal of one of the options.
CURLcode applyTransportSecurity(CURL* curl, const char* url, const char* caFile);

#endif
