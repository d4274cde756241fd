#ifndef CONFIGGUARD_H
#define CONFIGGUARD_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Keeps what a set of files held, so that a run can replace them and leave the
// folder as it found it: on destruction each file gets its old bytes back, a
// file that did not exist is removed, and so is a folder that the run created
// once it is empty again.
class ConfigGuard
{
public:
    explicit ConfigGuard(const QStringList& paths);
    ~ConfigGuard();

    ConfigGuard(const ConfigGuard&) = delete;
    ConfigGuard& operator=(const ConfigGuard&) = delete;

    // Removes every guarded file for the run; true when none is left.
    bool removeAll() const;

    void restore();

private:
    struct Kept
    {
        QString path;
        bool existed = false;
        QByteArray bytes;
    };

    std::vector<Kept> kept;
    QStringList missingFolders;
    bool restored = false;
};

#endif
