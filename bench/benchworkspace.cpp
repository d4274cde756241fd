#include "benchworkspace.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString appConfig(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config/") + name;
}

QString besideConfig(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../config/") + name;
}

} // namespace

BenchWorkspace::BenchWorkspace() : previousDir(QDir::currentPath())
{
    guard = std::make_unique<ConfigGuard>(QStringList{
        appConfig(QStringLiteral("clouddata.ini")), besideConfig(QStringLiteral("clouddata.ini")),
        checkItemFile(), positionFile(), besideConfig(QStringLiteral("proxy.txt"))});
    ready = root.isValid() && guard->removeAll() && QDir().mkpath(folder(QStringLiteral("run")))
            && QDir::setCurrent(folder(QStringLiteral("run")));
}

BenchWorkspace::~BenchWorkspace()
{
    QDir::setCurrent(previousDir);
    guard->restore();
}

bool BenchWorkspace::isReady(QString* why) const
{
    if (!ready)
        *why = QStringLiteral("cannot set up a temporary folder or the configuration folders beside %1")
                   .arg(QCoreApplication::applicationDirPath());
    return ready;
}

QString BenchWorkspace::folder(const QString& name) const
{
    const QString path = root.filePath(name);
    QDir().mkpath(path);
    return path;
}

bool BenchWorkspace::writeCloudSettings(const QByteArray& ini) const
{
    return guard->write(appConfig(QStringLiteral("clouddata.ini")), ini);
}

bool BenchWorkspace::writeDictionaries(const QByteArray& checkItems, const QByteArray& positions) const
{
    return guard->write(checkItemFile(), checkItems) && guard->write(positionFile(), positions);
}

QString BenchWorkspace::checkItemFile()
{
    return besideConfig(QStringLiteral("cloudCheckItem.json"));
}

QString BenchWorkspace::positionFile()
{
    return besideConfig(QStringLiteral("cloudPositionItem.json"));
}
