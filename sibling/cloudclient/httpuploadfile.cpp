#include "httpuploadfile.h"

#include "cloudclientasynchandler.h"
#include "clouddata.h"
#include "proxysettings.h"

#include <QCoreApplication>

namespace {

// Without an application object there is no application folder to read from.
std::optional<ProxySettings> currentProxySettings()
{
    if (!QCoreApplication::instance())
        return std::nullopt;
    return readProxySettingsFile(QCoreApplication::applicationDirPath()
                                 + QStringLiteral("/../config/proxy.txt"));
}

template <typename Field>
QString proxyValue(Field field)
{
    const std::optional<ProxySettings> settings = currentProxySettings();
    return settings ? (*settings).*field : QString();
}

// Read when asked, so that a changed file counts for the next upload.
CloudData currentCloudData()
{
    if (!QCoreApplication::instance())
        return CloudData();
    return readCloudData(QCoreApplication::applicationDirPath());
}

} // namespace

HttpUploadFile::HttpUploadFile() = default;

HttpUploadFile* HttpUploadFile::instance()
{
    static HttpUploadFile theInstance;
    return &theInstance;
}

void HttpUploadFile::setJsessionid(QByteArray id)
{
    jsessionid = std::move(id);
}

QByteArray HttpUploadFile::getJsessionid() const
{
    return jsessionid;
}

QString HttpUploadFile::getProxyURL() const
{
    return proxyValue(&ProxySettings::url);
}

QString HttpUploadFile::getProxyType() const
{
    return proxyValue(&ProxySettings::type);
}

QString HttpUploadFile::getProxyUser() const
{
    return proxyValue(&ProxySettings::user);
}

QString HttpUploadFile::getProxyPassword() const
{
    return proxyValue(&ProxySettings::password);
}

QString HttpUploadFile::getAssistUrl() const
{
    const QString url = currentCloudData().assistUrl;
    return url.isEmpty() ? QStringLiteral("http://127.0.0.1:8082/kelva/upload/uploadImage.do") : url;
}

long HttpUploadFile::getRequestTimeout() const
{
    return currentCloudData().requestTimeout;
}

QString HttpUploadFile::getCaFile() const
{
    return currentCloudData().caFile;
}

int HttpUploadFile::getUploadConnections() const
{
    return currentCloudData().uploadConnections;
}

int HttpUploadFile::getUploadRetries() const
{
    return currentCloudData().uploadRetries;
}

std::shared_ptr<CloudClientAsyncHandler> HttpUploadFile::newClientAsyncHandler()
{
    return std::make_shared<CloudClientAsyncHandler>();
}
