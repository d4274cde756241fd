#ifndef CURLUPLOADER_H
#define CURLUPLOADER_H

#include <QByteArray>
#include <QString>

#include "curlhandles.h"
#include "uploadtry.h"

class CloudClientAsyncHandler;

/// What a task keeps of its handler, and the stall bound, for each request.
struct UploadSettings
{
    UploadSettings(const CloudClientAsyncHandler& handler, long requestTimeout, const QString& caFile);

    QByteArray jsessionid;
    QByteArray proxyURL;
    QString proxyUser;
    QByteArray proxyUserPassword;
    QByteArray proxyType;
    QByteArray assistUrl;
    long requestTimeout;  ///< seconds below a byte a second (or to connect) before a try fails; 0: unbounded
    QByteArray caFile;    ///< CAs trusted over https, local file encoding; empty: libcurl's default store
};

/**
 * One easy handle that sends file after file to the upload endpoint, each as
 * one multipart POST. The owner runs its transfers (on a multi handle); the
 * connection each one used stays open for the next. Not copyable; used by one
 * thread at a time.
 */
class CurlUploader
{
public:
    explicit CurlUploader(const UploadSettings& settings);
    ~CurlUploader();

    CurlUploader(const CurlUploader&) = delete;
    CurlUploader& operator=(const CurlUploader&) = delete;

    /// Null when libcurl could not give a handle.
    CURL* handle() const { return curl.get(); }

    /// Makes the file at @p path the part "file" of the next transfer, read from
    /// disk as it goes out; false when it is not a readable file or there is no handle.
    bool prepare(const QString& path);

    /// What the transfer that ended with @p result came to.
    UploadTry outcome(CURLcode result) const;
    /// The service's Retry-After of that transfer in seconds; below 0 when it sent none.
    long retryAfter() const;
    /// The body of that transfer's reply.
    QByteArray takeReply();

private:
    // The form must outlive the handle's reference to it, so it is declared first.
    CurlMime form;
    CurlSlist headers;
    CurlEasy curl;
    QByteArray reply;
};

#endif
