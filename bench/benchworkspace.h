#ifndef BENCHWORKSPACE_H
#define BENCHWORKSPACE_H

#include "configguard.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// Where a run keeps its files. The form reads its settings, dictionaries and
// proxy file beside the program, so the run takes those away, lets the
// figures write theirs (FormFiles) and puts the old ones back at the end.
// Backups that saves write to "../backup/" land in a temporary folder, which
// is the working directory for the run.
class BenchWorkspace
{
public:
    BenchWorkspace();
    ~BenchWorkspace();

    BenchWorkspace(const BenchWorkspace&) = delete;
    BenchWorkspace& operator=(const BenchWorkspace&) = delete;

    // False with the reason when the folders cannot be set up.
    bool isReady(QString* why) const;

    // A folder of its own below the temporary one, created on demand.
    QString folder(const QString& name) const;

    static QString checkItemFile();
    static QString positionFile();

private:
    QTemporaryDir root;
    QString previousDir;
    std::unique_ptr<ConfigGuard> guard;
    bool ready = false;
};

#endif
