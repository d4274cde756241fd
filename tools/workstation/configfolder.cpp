#include "configfolder.h"

#include <QDir>
#include <QFile>

ConfigFolder::ConfigFolder(const QString& applicationDir)
    : folder(QDir::cleanPath(applicationDir + QStringLiteral("/../config")))
{
}

QString ConfigFolder::filePath(const QString& name) const
{
    return folder + QLatin1Char('/') + name;
}

bool ConfigFolder::ensureDictionaries(QString* error) const
{
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    for (const char* name : {"cloudCheckItem.json", "cloudPositionItem.json"}) {
        const QString path = filePath(QLatin1String(name));
        if (QFile::exists(path))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("[]") != 2) {
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
            return false;
        }
    }
    return true;
}
