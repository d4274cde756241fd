#include "hostschema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

namespace {

// The UIDs of series and images are unique where known; fixtures that only
// need a file path leave them out.
const char* const schema[] = {
    "CREATE TABLE IF NOT EXISTS patient (pk INTEGER PRIMARY KEY AUTOINCREMENT, PatientName TEXT, "
    "PatientID TEXT, PatientSex TEXT, PatientBirthDate TEXT, PatientAge TEXT)",
    "CREATE INDEX IF NOT EXISTS patient_identity ON patient (PatientID, PatientName)",
    "CREATE TABLE IF NOT EXISTS generalstudy (pk INTEGER PRIMARY KEY AUTOINCREMENT, patient_fk INTEGER, "
    "StudyInstanceUID TEXT NOT NULL UNIQUE, StudyDate TEXT, StudyTime TEXT, StudyDescription TEXT, "
    "AccessionNumber TEXT, StudyID TEXT)",
    "CREATE TABLE IF NOT EXISTS generalseries (pk INTEGER PRIMARY KEY AUTOINCREMENT, study_fk INTEGER, "
    "SeriesInstanceUID TEXT UNIQUE, SeriesNumber TEXT, Modality TEXT, SeriesDescription TEXT)",
    "CREATE TABLE IF NOT EXISTS imageformat (pk INTEGER PRIMARY KEY AUTOINCREMENT, series_fk INTEGER, "
    "FilePath TEXT, SOPInstanceUID TEXT UNIQUE, SOPClassUID TEXT, InstanceNumber TEXT, "
    "SpecificCharacterSet TEXT)",
    "CREATE TABLE IF NOT EXISTS patientinfoindex (pk INTEGER PRIMARY KEY AUTOINCREMENT, StudyUID TEXT, "
    "CheckSerialNum TEXT, PatientInfoPath TEXT)",
};

} // namespace

bool createHostTables(QSqlDatabase& db, QString* error)
{
    QSqlQuery query(db);
    for (const char* statement : schema) {
        if (!query.exec(QLatin1String(statement))) {
            *error = query.lastError().text();
            return false;
        }
    }
    return true;
}
