#include "httpuploadfile.h"

#include "cloudclientasynchandler.h"
#include "proxysettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

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

QString cloudDataFile()
{
    if (!QCoreApplication::instance())
        return QString();
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const char* folder : {"/config/", "/../config/"}) {
        const QString path = appDir + QLatin1String(folder) + QStringLiteral("clouddata.ini");
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

// Empty when there is no clouddata.ini or it lacks @p key.
QString cloudDataValue(const char* key)
{
    const QString path = cloudDataFile();
    if (path.isEmpty())
        return QString();
    return QSettings(path, QSettings::IniFormat).value(QLatin1String(key)).toString();
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
    const QString url = cloudDataValue("cloud/assistUrl");
    return url.isEmpty() ? QStringLiteral("http://127.0.0.1:8082/kelva/upload/uploadImage.do") : url;
}

long HttpUploadFile::getRequestTimeout() const
{
    bool whole = false;
    const long seconds = cloudDataValue("cloud/requestTimeout").toLong(&whole);
    return whole && seconds > 0 ? seconds : 0;
}

std::shared_ptr<CloudClientAsyncHandler> HttpUploadFile::newClientAsyncHandler()
{
    return std::make_shared<CloudClientAsyncHandler>();
}
