#include "localdatabase.h"

#include "dicomfile.h"
#include "dicomtext.h"
#include "hostschema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Prepares a statement and runs it with the values bound in order.
bool run(QSqlQuery& query, const QString& sql, const QVariantList& values)
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

} // namespace

LocalDatabase::LocalDatabase() = default;

LocalDatabase::~LocalDatabase()
{
    if (!QSqlDatabase::contains(QSqlDatabase::defaultConnection))
        return;
    QSqlDatabase::database(QSqlDatabase::defaultConnection, false).close();
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
}

bool LocalDatabase::open(const QString& path)
{
    QSqlDatabase db = QSqlDatabase::contains(QSqlDatabase::defaultConnection)
        ? QSqlDatabase::database(QSqlDatabase::defaultConnection, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.close();
    db.setDatabaseName(path);
    if (!db.open()) {
        error = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text());
        return false;
    }
    QString why;
    if (!createHostTables(db, &why)) {
        error = QStringLiteral("cannot prepare %1: %2").arg(path, why);
        db.close();
        return false;
    }
    opened = true;
    return true;
}

bool LocalDatabase::isOpen() const
{
    return opened && QSqlDatabase::database(QSqlDatabase::defaultConnection, false).isOpen();
}

bool LocalDatabase::transaction()
{
    return QSqlDatabase::database(QSqlDatabase::defaultConnection, false).transaction();
}

bool LocalDatabase::commit()
{
    QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::defaultConnection, false);
    if (db.commit())
        return true;
    error = db.lastError().text();
    return false;
}

void LocalDatabase::rollback()
{
    QSqlDatabase::database(QSqlDatabase::defaultConnection, false).rollback();
}

ImageAdded LocalDatabase::addImage(const DicomFileInfo& image, const QString& absolutePath)
{
    QSqlQuery known;
    if (!run(known, QStringLiteral("SELECT pk FROM imageformat WHERE SOPInstanceUID = ?"), {image.sopInstanceUid}))
        return failed(known);
    if (known.next())
        return ImageAdded::AlreadyKnown;

    bool newStudy = false;
    const std::optional<qint64> study = findOrAddStudy(image, &newStudy);
    const std::optional<qint64> series = study ? findOrAddSeries(image, *study) : std::nullopt;
    if (!series)
        return ImageAdded::Failed;
    QSqlQuery insert;
    if (!run(insert,
             QStringLiteral("INSERT INTO imageformat (series_fk, FilePath, SOPInstanceUID, SOPClassUID, "
                            "InstanceNumber, SpecificCharacterSet) VALUES (?, ?, ?, ?, ?, ?)"),
             {*series, columnText(absolutePath), columnText(image.sopInstanceUid), columnText(image.sopClassUid),
              columnText(image.instanceNumber), columnText(image.characterSet)}))
        return failed(insert);
    return newStudy ? ImageAdded::NewStudy : ImageAdded::NewImage;
}

ImageAdded LocalDatabase::failed(const QSqlQuery& query)
{
    error = query.lastError().text();
    return ImageAdded::Failed;
}

std::optional<qint64> LocalDatabase::insertRow(const QString& sql, const QVariantList& values)
{
    QSqlQuery insert;
    if (!run(insert, sql, values)) {
        failed(insert);
        return std::nullopt;
    }
    return insert.lastInsertId().toLongLong();
}

std::optional<qint64> LocalDatabase::findOrAddPatient(const DicomFileInfo& image)
{
    QSqlQuery find;
    if (run(find, QStringLiteral("SELECT pk FROM patient WHERE PatientID = ? AND PatientName = ? ORDER BY pk"),
            {columnText(image.patientId), columnText(image.patientName)})
        && find.next())
        return find.value(0).toLongLong();
    return insertRow(QStringLiteral("INSERT INTO patient (PatientName, PatientID, PatientSex, PatientBirthDate, "
                                    "PatientAge) VALUES (?, ?, ?, ?, ?)"),
                     {columnText(image.patientName), columnText(image.patientId), columnText(image.patientSex),
                      columnText(image.patientBirthDate), columnText(image.patientAge)});
}

std::optional<qint64> LocalDatabase::findOrAddStudy(const DicomFileInfo& image, bool* created)
{
    QSqlQuery find;
    if (run(find, QStringLiteral("SELECT pk FROM generalstudy WHERE StudyInstanceUID = ?"), {image.studyUid})
        && find.next())
        return find.value(0).toLongLong();
    const std::optional<qint64> patient = findOrAddPatient(image);
    if (!patient)
        return std::nullopt;
    const std::optional<qint64> study = insertRow(
        QStringLiteral("INSERT INTO generalstudy (patient_fk, StudyInstanceUID, StudyDate, StudyTime, "
                       "StudyDescription, AccessionNumber, StudyID) VALUES (?, ?, ?, ?, ?, ?, ?)"),
        {*patient, columnText(image.studyUid), columnText(image.studyDate), columnText(image.studyTime),
         columnText(image.studyDescription), columnText(image.accessionNumber), columnText(image.studyId)});
    *created = study.has_value();
    return study;
}

std::optional<qint64> LocalDatabase::findOrAddSeries(const DicomFileInfo& image, qint64 studyPk)
{
    QSqlQuery find;
    if (run(find, QStringLiteral("SELECT pk FROM generalseries WHERE SeriesInstanceUID = ?"), {image.seriesUid})
        && find.next())
        return find.value(0).toLongLong();
    return insertRow(QStringLiteral("INSERT INTO generalseries (study_fk, SeriesInstanceUID, SeriesNumber, Modality, "
                                    "SeriesDescription) VALUES (?, ?, ?, ?, ?)"),
                     {studyPk, columnText(image.seriesUid), columnText(image.seriesNumber), columnText(image.modality),
                      columnText(image.seriesDescription)});
}

QVector<LocalStudy> LocalDatabase::studies() const
{
    QVector<LocalStudy> list;
    QSqlQuery query;
    if (!query.exec(QStringLiteral(
            "SELECT s.pk, s.StudyInstanceUID, p.PatientName, p.PatientID, p.PatientSex, s.StudyDate, s.StudyTime, "
            "s.StudyDescription, "
            "(SELECT group_concat(Modality, ',') FROM (SELECT DISTINCT Modality FROM generalseries "
            " WHERE study_fk = s.pk AND Modality <> '' ORDER BY Modality)), "
            "(SELECT count(*) FROM imageformat i JOIN generalseries se ON i.series_fk = se.pk "
            " WHERE se.study_fk = s.pk) "
            "FROM generalstudy s LEFT JOIN patient p ON p.pk = s.patient_fk ORDER BY s.pk")))
        return list;
    while (query.next()) {
        LocalStudy study;
        study.pk = query.value(0).toLongLong();
        study.studyUid = query.value(1).toString();
        study.patientName = query.value(2).toString();
        study.patientId = query.value(3).toString();
        study.patientSex = query.value(4).toString();
        study.studyDate = query.value(5).toString();
        study.studyTime = query.value(6).toString();
        study.description = query.value(7).toString();
        study.modalities = query.value(8).toString();
        study.imageCount = query.value(9).toInt();
        list.append(study);
    }
    return list;
}

std::optional<PatientRow> LocalDatabase::patientOfStudy(qint64 studyPk) const
{
    QSqlQuery query;
    if (!run(query,
             QStringLiteral("SELECT p.pk, p.PatientName, p.PatientSex FROM patient p "
                            "JOIN generalstudy s ON s.patient_fk = p.pk WHERE s.pk = ?"),
             {studyPk})
        || !query.next())
        return std::nullopt;
    return PatientRow{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString()};
}

QVector<IndexRow> LocalDatabase::indexRows(const QString& studyUid) const
{
    QVector<IndexRow> rows;
    QSqlQuery query;
    if (!run(query,
             QStringLiteral("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex "
                            "WHERE StudyUID = ? ORDER BY rowid"),
             {studyUid}))
        return rows;
    while (query.next())
        rows.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    return rows;
}

QStringList LocalDatabase::imagePaths(qint64 studyPk) const
{
    QStringList paths;
    QSqlQuery query;
    if (!run(query,
             QStringLiteral("SELECT i.FilePath FROM imageformat i JOIN generalseries se ON i.series_fk = se.pk "
                            "WHERE se.study_fk = ? ORDER BY i.pk"),
             {studyPk}))
        return paths;
    while (query.next())
        paths.append(query.value(0).toString());
    return paths;
}
