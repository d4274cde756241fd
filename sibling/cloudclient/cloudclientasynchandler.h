#ifndef CLOUDCLIENTASYNCHANDLER_H
#define CLOUDCLIENTASYNCHANDLER_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class UpLoadTask;

/**
 * Settings of one upload channel. The caller overwrites the public members
 * before each upload; a task copies them when it is created.
 */
class Q_DECL_EXPORT CloudClientAsyncHandler
{
public:
    CloudClientAsyncHandler();
    virtual ~CloudClientAsyncHandler();

    /// A new task that uploads @p files with the current settings; never null.
    /// The task starts once control returns to the event loop and belongs to
    /// whoever receives its finshTask signal.
    virtual UpLoadTask* newUpLoadTask(QStringList files);

    QByteArray jsessionid;         ///< sent as the JSESSIONID cookie
    QByteArray proxyURL;           ///< UTF-8; empty means no proxy
    QString proxyUser;
    QString proxyPassword;
    QByteArray proxyUserPassword;  ///< UTF-8 of user, ":" and password
    QByteArray proxyType;          ///< UTF-8: "http", "http_1_0", "sock4" or "sock5"
    QByteArray assistUrl;          ///< UTF-8 upload endpoint
    QByteArray extraData;          ///< opaque bytes of the caller
};

#endif
