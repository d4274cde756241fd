#ifndef STUDYSTORE_H
#define STUDYSTORE_H

#include "cloudstudy.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class SqlThread;

// The cloud's records in one SQLite file: sessions, studies with their serial
// numbers, and the stored images. Safe to call from any thread.
class StudyStore
{
public:
    explicit StudyStore(const QString& databaseFile);
    ~StudyStore();

    StudyStore(const StudyStore&) = delete;
    StudyStore& operator=(const StudyStore&) = delete;

    bool isOpen() const;
    QString errorString() const;

    bool addSession(const QString& id, const QString& user);
    bool hasSession(const QString& id);

    std::optional<CloudStudy> studyByUid(const QString& studyUid);
    std::optional<CloudStudy> studyBySerial(const QString& serial);

    // Registers the study with seed's record unless its UID is already known,
    // and answers its serial ("CN" and eight digits); empty on failure.
    QString registerStudy(const CloudStudy& seed, bool* created = nullptr);
    // The same, and records one stored image of the study in the same step.
    QString registerImage(const CloudStudy& seed, const QString& sopInstanceUid, const QString& path);
    // Replaces the record with study's serial; false when there is none.
    bool updateStudy(const CloudStudy& study);

    // Paths of the stored images of a study, relative to the data folder.
    QStringList imagePaths(const QString& studyUid);

private:
    struct StoredImage
    {
        QString sopInstanceUid;
        QString path;
    };
    QString registerWith(const CloudStudy& seed, const StoredImage* image, bool* created);

    std::unique_ptr<SqlThread> sql;
    bool ready = false;
    QString error;
};

#endif
