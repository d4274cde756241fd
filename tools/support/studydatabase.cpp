#include "studydatabase.h"

#include "hostschema.h"

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
        qFatal("study database: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

StudyDatabase::StudyDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(dir.filePath(QStringLiteral("local.db")));
    QString error;
    if (!db.open() || !createHostTables(db, &error))
        qFatal("study database: %s", qPrintable(error.isEmpty() ? db.lastError().text() : error));
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
