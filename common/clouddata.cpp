#include "clouddata.h"

#include <QFileInfo>
#include <QSettings>

QString findSettingsFile(const QString& appDir, const QString& name)
{
    for (const QString& folder : {QStringLiteral("/config/"), QStringLiteral("/../config/")}) {
        const QString path = appDir + folder + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

CloudData readCloudData(const QString& appDir)
{
    CloudData data;
    data.path = findSettingsFile(appDir, QStringLiteral("clouddata.ini"));
    if (data.path.isEmpty())
        return data;

    const QSettings ini(data.path, QSettings::IniFormat);
    data.assistUrl = ini.value(QStringLiteral("cloud/assistUrl")).toString();
    bool whole = false;
    const long seconds = ini.value(QStringLiteral("cloud/requestTimeout")).toString().toLong(&whole);
    data.requestTimeout = whole && seconds > 0 ? seconds : 0;
    return data;
}
