#include "clouddata.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

// The whole number at @p key when it is at least @p least, at most @p most; else @p fallback.
int wholeSetting(const QSettings& ini, const QString& key, int least, int most, int fallback)
{
    bool whole = false;
    const long value = ini.value(key).toString().toLong(&whole);
    return whole && value >= least ? int(std::min<long>(value, most)) : fallback;
}

} // namespace

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
    // A path with a comma reads as a list; joined again, it fails as a missing
    // file would instead of falling back to the default store.
    const QString caFile = ini.value(QStringLiteral("cloud/caFile")).toStringList().join(QLatin1Char(','));
    if (!caFile.isEmpty())
        data.caFile = QDir::cleanPath(QFileInfo(data.path).absoluteDir().filePath(caFile));
    data.uploadConnections = wholeSetting(ini, QStringLiteral("cloud/uploadConnections"), 1, maxUploadConnections,
                                          defaultUploadConnections);
    data.uploadRetries =
        wholeSetting(ini, QStringLiteral("cloud/uploadRetries"), 0, maxUploadRetries, defaultUploadRetries);
    return data;
}
