#ifndef HTTPUPLOADFILE_H
#define HTTPUPLOADFILE_H

#include <QByteArray>
#include <QString>

#include <memory>

class CloudClientAsyncHandler;

/**
 * Process-wide entry point of the cloud client library: keeps the session id
 * and reads the proxy and upload settings that uploads use.
 */
class Q_DECL_EXPORT HttpUploadFile
{
public:
    /// The process-wide instance; never null.
    static HttpUploadFile* instance();

    /// Stores the session id that later uploads send as the JSESSIONID cookie.
    void setJsessionid(QByteArray id);
    /// The session id last stored (empty at first).
    QByteArray getJsessionid() const;

    /// Proxy settings as they stand in the application's "/../config/proxy.txt"
    /// when called (Base64 of four lines: URL, type, user, password); empty when
    /// the file is missing or not valid (parseProxySettings says what is valid).
    QString getProxyURL() const;
    QString getProxyType() const;
    QString getProxyUser() const;
    QString getProxyPassword() const;

    /// The upload endpoint: `cloud/assistUrl` of clouddata.ini (application's
    /// "/config/" when that file exists, else "/../config/"), or the built-in
    /// default when there is no file or the key is missing or empty.
    QString getAssistUrl() const;

    /// The bound on a stalled upload, in seconds: `cloud/requestTimeout` of the
    /// same clouddata.ini as getAssistUrl when it is a positive whole number,
    /// else 0 (no bound). Read when called.
    long getRequestTimeout() const;
    /// Connections a task sends its files over at once: `cloud/uploadConnections` of the same file (1 to 32), else 4.
    int getUploadConnections() const;
    /// Further tries of a file after a transient failure: `cloud/uploadRetries` of the same file (0 to 10), else 2.
    int getUploadRetries() const;

    /// The CAs trusted over https: `cloud/caFile` of the same clouddata.ini as
    /// getAssistUrl, relative to its folder; empty for libcurl's default store.
    /// Read when called.
    QString getCaFile() const;

    /// A new upload handler; the caller fills its settings before each upload.
    std::shared_ptr<CloudClientAsyncHandler> newClientAsyncHandler();

    HttpUploadFile(const HttpUploadFile&) = delete;
    HttpUploadFile& operator=(const HttpUploadFile&) = delete;

private:
    HttpUploadFile();

    QByteArray jsessionid;
};

#endif
