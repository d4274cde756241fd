#include "studydatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

qint64 StudyDatabase::insert(const char* sql, const QVariantList& values)
{
    QSqlQuery query;
    query.prepare(QLatin1String(sql));
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        qFatal("test database: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

StudyDatabase::StudyDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(dir.filePath(QStringLiteral("local.db")));
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
        insert(statement, {});
}

StudyDatabase::~StudyDatabase()
{
    QSqlDatabase::database(QSqlDatabase::defaultConnection, false).close();
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
}

bool StudyDatabase::isOpen() const
{
    return QSqlDatabase::database(QSqlDatabase::defaultConnection, false).isOpen();
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
