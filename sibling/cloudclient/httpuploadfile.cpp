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
    const QString path = cloudDataFile();
    if (!path.isEmpty()) {
        const QString url = QSettings(path, QSettings::IniFormat).value(QStringLiteral("cloud/assistUrl")).toString();
        if (!url.isEmpty())
            return url;
    }
    return QStringLiteral("http://127.0.0.1:8082/kelva/upload/uploadImage.do");
}

std::shared_ptr<CloudClientAsyncHandler> HttpUploadFile::newClientAsyncHandler()
{
    return std::make_shared<CloudClientAsyncHandler>();
}
