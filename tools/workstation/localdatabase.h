#ifndef LOCALDATABASE_H
#define LOCALDATABASE_H

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <optional>

class QSqlQuery;
struct DicomFileInfo;

// A study as the study list shows it.
struct LocalStudy
{
    qint64 pk = -1;  // generalstudy.pk, the key the study form is given
    QString studyUid;
    QString patientName;
    QString patientId;
    QString patientSex;
    QString studyDate;  // as stored: "YYYYMMDD"
    QString studyTime;  // as stored: "HHMMSS[.F]"
    QString description;
    QString modalities;  // of its series, comma-separated
    int imageCount = 0;
};

struct PatientRow
{
    qint64 pk = -1;
    QString name;
    QString sex;
};

struct IndexRow
{
    QString studyUid;
    QString checkSerialNum;
    QString patientInfoPath;
};

// What adding one image did.
enum class ImageAdded { NewStudy, NewImage, AlreadyKnown, Failed };

// The workstation's local study database: one SQLite file on Qt's default
// connection, which the study form reads and writes as well. Rows: one patient
// per PatientID and name, one study per StudyInstanceUID, one series per
// SeriesInstanceUID, one image per SOPInstanceUID; patientinfoindex is the
// form's. Only one object may be open at a time (there is one default
// connection).
class LocalDatabase
{
public:
    LocalDatabase();
    ~LocalDatabase();

    LocalDatabase(const LocalDatabase&) = delete;
    LocalDatabase& operator=(const LocalDatabase&) = delete;

    // Opens the file, creating it and the tables when missing.
    bool open(const QString& path);
    bool isOpen() const;
    QString errorString() const { return error; }

    bool transaction();
    bool commit();
    void rollback();

    // Files the image under its patient, study and series, creating the rows
    // that are missing. A known SOPInstanceUID leaves everything as it is.
    ImageAdded addImage(const DicomFileInfo& image, const QString& absolutePath);

    QVector<LocalStudy> studies() const;
    std::optional<PatientRow> patientOfStudy(qint64 studyPk) const;
    QVector<IndexRow> indexRows(const QString& studyUid) const;
    QStringList imagePaths(qint64 studyPk) const;

private:
    ImageAdded failed(const QSqlQuery& query);
    std::optional<qint64> insertRow(const QString& sql, const QVariantList& values);
    std::optional<qint64> findOrAddPatient(const DicomFileInfo& image);
    std::optional<qint64> findOrAddStudy(const DicomFileInfo& image, bool* created);
    std::optional<qint64> findOrAddSeries(const DicomFileInfo& image, qint64 studyPk);

    QString error;
    bool opened = false;
};

#endif
