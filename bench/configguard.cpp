#include "configguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

ConfigGuard::ConfigGuard(const QStringList& paths)
{
    for (const QString& path : paths) {
        Kept file;
        file.path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        QFile existing(file.path);
        file.existed = existing.open(QIODevice::ReadOnly);
        if (file.existed)
            file.bytes = existing.readAll();
        kept.push_back(file);

        const QString folder = QFileInfo(file.path).absolutePath();
        if (!QFileInfo::exists(folder) && !missingFolders.contains(folder))
            missingFolders << folder;
    }
}

ConfigGuard::~ConfigGuard()
{
    restore();
}

bool ConfigGuard::removeAll() const
{
    return std::all_of(kept.begin(), kept.end(), [](const Kept& file) {
        return !QFileInfo::exists(file.path) || QFile::remove(file.path);
    });
}

void ConfigGuard::restore()
{
    if (restored)
        return;
    restored = true;
    for (const Kept& file : kept) {
        if (file.existed)
            writeFile(file.path, file.bytes);
        else
            QFile::remove(file.path);
    }
    // Deepest first, so that a created parent goes after its created child.
    QStringList folders = missingFolders;
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& folder : folders)
        QDir().rmdir(folder);
}
