#include "workfolder.h"

#include <QDir>

WorkFolder::WorkFolder()
    : previous(QDir::currentPath())
{
    valid = dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("run"))
        && QDir::setCurrent(dir.filePath(QStringLiteral("run")));
}

WorkFolder::~WorkFolder()
{
    QDir::setCurrent(previous);
}

QString WorkFolder::backupPath(const QString& studyUid) const
{
    return dir.filePath(QStringLiteral("backup/CloudPatientCaseInfo_") + studyUid + QStringLiteral(".json"));
}
