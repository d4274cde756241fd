#ifndef CURLUPLOADER_H
#define CURLUPLOADER_H

#include <QByteArray>
#include <QString>

#include "curlhandles.h"

#include <atomic>
#include <optional>

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
    long requestTimeout;  ///< seconds below a byte a second (or to connect) before a file fails; 0: unbounded
    QByteArray caFile;    ///< CAs trusted over https, local file encoding; empty: libcurl's default store
};

/// True for the HTTP statuses that mean the cloud took the file.
bool isSuccessStatus(long status);

/**
 * One connection's worth of uploads: a single easy handle that sends file
 * after file to the same endpoint, so that libcurl keeps the connection open
 * between them. Not copyable; used by one thread at a time.
 */
class CurlUploader
{
public:
    /// @p abort is polled during transfers (at least once a second, even while
    /// waiting on a silent server); setting it ends the current transfer early.
    /// It must outlive the uploader.
    CurlUploader(const UploadSettings& settings, const std::atomic<bool>& abort);
    ~CurlUploader();

    CurlUploader(const CurlUploader&) = delete;
    CurlUploader& operator=(const CurlUploader&) = delete;

    /// False when libcurl could not give a handle; every upload then fails.
    bool isUsable() const;

    /// POSTs the file at @p path as the multipart part "file"; the reply body
    /// when the transfer completed with a 2xx status, no value otherwise.
    std::optional<QByteArray> upload(const QString& path);

private:
    // The form must outlive the handle's reference to it, so it is declared first.
    CurlMime form;
    CurlSlist headers;
    CurlEasy curl;
    QByteArray reply;
};

#endif
