#ifndef WORKFOLDER_H
#define WORKFOLDER_H

#include <QString>
#include <QTemporaryDir>

// A temporary folder whose sub-folder "run" is the working directory while the
// object lives, so that the form's "../backup" lands inside the folder. The
// previous working directory comes back at the end.
class WorkFolder
{
public:
    WorkFolder();
    ~WorkFolder();

    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool isValid() const { return valid; }
    QString filePath(const QString& name) const { return dir.filePath(name); }
    // Where the form writes the backup of the study @p studyUid.
    QString backupPath(const QString& studyUid) const;

private:
    const QString previous;
    QTemporaryDir dir;
    bool valid = false;
};

#endif
