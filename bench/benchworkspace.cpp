#include "benchworkspace.h"

#include "formfiles.h"

#include <QCoreApplication>
#include <QDir>

BenchWorkspace::BenchWorkspace()
    : previousDir(QDir::currentPath()), guard(std::make_unique<ConfigGuard>(FormFiles::all()))
{
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

QString BenchWorkspace::checkItemFile()
{
    return FormFiles::checkItemFile();
}

QString BenchWorkspace::positionFile()
{
    return FormFiles::positionFile();
}
