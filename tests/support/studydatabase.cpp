#include "studydatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

qint64 insert(const QString& sql, const QVariantList& values)
{
    QSqlQuery query;
    query.prepare(sql);
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        qFatal("test database: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

} // namespace

StudyDatabase::StudyDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(filePath());
    if (!db.open())
        qFatal("test database: %s", qPrintable(db.lastError().text()));
    const char* schema[] = {
        "CREATE TABLE patient (pk INTEGER PRIMARY KEY, PatientName TEXT, PatientSex TEXT)",
        "CREATE TABLE generalstudy (pk INTEGER PRIMARY KEY, patient_fk INTEGER, StudyInstanceUID TEXT)",
        "CREATE TABLE generalseries (pk INTEGER PRIMARY KEY, study_fk INTEGER)",
        "CREATE TABLE imageformat (pk INTEGER PRIMARY KEY, series_fk INTEGER, FilePath TEXT)",
        "CREATE TABLE patientinfoindex (pk INTEGER PRIMARY KEY, StudyUID TEXT, CheckSerialNum TEXT, PatientInfoPath TEXT)",
    };
    for (const char* statement : schema)
        insert(QLatin1String(statement), {});
}

StudyDatabase::~StudyDatabase()
{
    {
        QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::defaultConnection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
}

bool StudyDatabase::isOpen() const
{
    return QSqlDatabase::database(QSqlDatabase::defaultConnection, false).isOpen();
}

QString StudyDatabase::filePath() const
{
    return dir.filePath(QStringLiteral("local.db"));
}

qint64 StudyDatabase::addPatient(const QString& name, const QString& sex)
{
    return insert(QStringLiteral("INSERT INTO patient (PatientName, PatientSex) VALUES (?, ?)"), {name, sex});
}

qint64 StudyDatabase::addStudy(qint64 patientPk, const QString& studyUid)
{
    return insert(QStringLiteral("INSERT INTO generalstudy (patient_fk, StudyInstanceUID) VALUES (?, ?)"),
                  {patientPk, studyUid});
}

qint64 StudyDatabase::addSeries(qint64 studyPk)
{
    return insert(QStringLiteral("INSERT INTO generalseries (study_fk) VALUES (?)"), {studyPk});
}

void StudyDatabase::addImage(qint64 seriesPk, const QString& filePath)
{
    insert(QStringLiteral("INSERT INTO imageformat (series_fk, FilePath) VALUES (?, ?)"), {seriesPk, filePath});
}

QList<QStringList> StudyDatabase::rows(const QString& sql) const
{
    QList<QStringList> result;
    QSqlQuery query(sql);
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < query.record().count(); ++i)
            cells << query.value(i).toString();
        result << cells;
    }
    return result;
}
