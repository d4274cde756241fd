#include "studystore.h"

#include "dicomtext.h"
#include "sqlthread.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

namespace {

const char* const studyColumns =
    "serial, studyuid, patientname, sex, age, ageunit, abstracthistory, relevantresult, prediagnose, "
    "checkitemid, studypositionid, studytime";

bool exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {})
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (query.exec())
        return true;
    std::fprintf(stderr, "cloud-service: database: %s\n", qPrintable(query.lastError().text()));
    return false;
}

bool exec(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery query(db);
    return exec(query, sql, values);
}

// BEGIN IMMEDIATE takes the write lock at once, so that two processes on one
// data folder cannot both read "unknown" and then both insert.
template <typename Work>
bool inTransaction(QSqlDatabase& db, Work work)
{
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (work() && exec(db, QStringLiteral("COMMIT")))
        return true;
    exec(db, QStringLiteral("ROLLBACK"));
    return false;
}

// The record's columns after serial and studyuid, in table order.
QVariantList recordValues(const CloudStudy& s)
{
    return {columnText(s.patientName),    columnText(s.sex),         s.age,
            columnText(s.ageUnit),        columnText(s.abstractHistory), columnText(s.relevantResult),
            columnText(s.prediagnose),    s.checkItemId,             s.studyPositionId,
            s.studyTime};
}

CloudStudy studyFrom(const QSqlQuery& q)
{
    CloudStudy s;
    s.serial = q.value(0).toString();
    s.studyUid = q.value(1).toString();
    s.patientName = q.value(2).toString();
    s.sex = q.value(3).toString();
    s.age = q.value(4).toInt();
    s.ageUnit = q.value(5).toString();
    s.abstractHistory = q.value(6).toString();
    s.relevantResult = q.value(7).toString();
    s.prediagnose = q.value(8).toString();
    s.checkItemId = q.value(9).toInt();
    s.studyPositionId = q.value(10).toInt();
    s.studyTime = q.value(11).toLongLong();
    return s;
}

std::optional<CloudStudy> findStudy(QSqlDatabase& db, const char* column, const QString& value)
{
    QSqlQuery query(db);
    const QString sql = QStringLiteral("SELECT %1 FROM studies WHERE %2 = ?")
                            .arg(QLatin1String(studyColumns), QLatin1String(column));
    if (!exec(query, sql, {value}) || !query.next())
        return std::nullopt;
    return studyFrom(query);
}

// Inside a transaction: the serial of the study, registering it first when new.
QString registerIn(QSqlDatabase& db, const CloudStudy& seed, bool* created)
{
    if (const auto known = findStudy(db, "studyuid", seed.studyUid)) {
        *created = false;
        return known->serial;
    }
    QSqlQuery insert(db);
    const QString sql =
        QStringLiteral("INSERT INTO studies (%1) VALUES (NULL, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(QLatin1String(studyColumns));
    if (!exec(insert, sql, QVariantList{seed.studyUid} + recordValues(seed)))
        return QString();
    const QString serial = QStringLiteral("CN%1").arg(insert.lastInsertId().toLongLong(), 8, 10, QLatin1Char('0'));
    if (!exec(db, QStringLiteral("UPDATE studies SET serial = ? WHERE studyuid = ?"), {serial, seed.studyUid}))
        return QString();
    *created = true;
    return serial;
}

} // namespace

StudyStore::StudyStore(const QString& databaseFile) : sql(std::make_unique<SqlThread>(databaseFile))
{
    if (!sql->isOpen()) {
        error = sql->errorString();
        return;
    }
    sql->run([this](QSqlDatabase& db) {
        // WAL with NORMAL sync survives a crash of the service and spares an
        // fsync per upload; a power cut may lose the last moments.
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        const char* const schema[] = {
            "CREATE TABLE IF NOT EXISTS sessions (id TEXT PRIMARY KEY, user TEXT NOT NULL, "
            "created INTEGER NOT NULL)",
            "CREATE TABLE IF NOT EXISTS studies (id INTEGER PRIMARY KEY AUTOINCREMENT, serial TEXT UNIQUE, "
            "studyuid TEXT NOT NULL UNIQUE, patientname TEXT NOT NULL, sex TEXT NOT NULL, "
            "age INTEGER NOT NULL, ageunit TEXT NOT NULL, abstracthistory TEXT NOT NULL, "
            "relevantresult TEXT NOT NULL, prediagnose TEXT NOT NULL, checkitemid INTEGER NOT NULL, "
            "studypositionid INTEGER NOT NULL, studytime INTEGER NOT NULL)",
            "CREATE TABLE IF NOT EXISTS images (studyuid TEXT NOT NULL, sopinstanceuid TEXT NOT NULL, "
            "path TEXT NOT NULL, PRIMARY KEY (studyuid, sopinstanceuid))",
        };
        ready = inTransaction(db, [&] {
            for (const char* statement : schema) {
                if (!exec(db, QLatin1String(statement)))
                    return false;
            }
            return true;
        });
        if (!ready)
            error = QStringLiteral("cannot create the tables");
    });
}

StudyStore::~StudyStore() = default;

bool StudyStore::isOpen() const
{
    return ready;
}

QString StudyStore::errorString() const
{
    return error;
}

bool StudyStore::addSession(const QString& id, const QString& user)
{
    bool ok = false;
    sql->run([&](QSqlDatabase& db) {
        ok = exec(db, QStringLiteral("INSERT INTO sessions (id, user, created) VALUES (?, ?, ?)"),
                  {id, user, QDateTime::currentMSecsSinceEpoch()});
    });
    return ok;
}

bool StudyStore::hasSession(const QString& id)
{
    bool found = false;
    sql->run([&](QSqlDatabase& db) {
        QSqlQuery query(db);
        found = exec(query, QStringLiteral("SELECT 1 FROM sessions WHERE id = ?"), {id}) && query.next();
    });
    return found;
}

std::optional<CloudStudy> StudyStore::studyByUid(const QString& studyUid)
{
    std::optional<CloudStudy> study;
    sql->run([&](QSqlDatabase& db) { study = findStudy(db, "studyuid", studyUid); });
    return study;
}

std::optional<CloudStudy> StudyStore::studyBySerial(const QString& serial)
{
    std::optional<CloudStudy> study;
    sql->run([&](QSqlDatabase& db) { study = findStudy(db, "serial", serial); });
    return study;
}

QString StudyStore::registerStudy(const CloudStudy& seed, bool* created)
{
    return registerWith(seed, nullptr, created);
}

QString StudyStore::registerImage(const CloudStudy& seed, const QString& sopInstanceUid, const QString& path)
{
    const StoredImage image{sopInstanceUid, path};
    return registerWith(seed, &image, nullptr);
}

QString StudyStore::registerWith(const CloudStudy& seed, const StoredImage* image, bool* created)
{
    QString serial;
    bool isNew = false;
    sql->run([&](QSqlDatabase& db) {
        const bool stored = inTransaction(db, [&] {
            serial = registerIn(db, seed, &isNew);
            return !serial.isEmpty()
                && (!image
                    || exec(db,
                            QStringLiteral("INSERT OR REPLACE INTO images (studyuid, sopinstanceuid, path) "
                                           "VALUES (?, ?, ?)"),
                            {seed.studyUid, image->sopInstanceUid, image->path}));
        });
        if (!stored)
            serial.clear();
    });
    if (created)
        *created = isNew && !serial.isEmpty();
    return serial;
}

bool StudyStore::updateStudy(const CloudStudy& study)
{
    bool updated = false;
    sql->run([&](QSqlDatabase& db) {
        QSqlQuery query(db);
        updated = exec(query,
                       QStringLiteral("UPDATE studies SET patientname = ?, sex = ?, age = ?, ageunit = ?, "
                                      "abstracthistory = ?, relevantresult = ?, prediagnose = ?, "
                                      "checkitemid = ?, studypositionid = ?, studytime = ? WHERE serial = ?"),
                       recordValues(study) + QVariantList{study.serial})
            && query.numRowsAffected() == 1;
    });
    return updated;
}

QStringList StudyStore::imagePaths(const QString& studyUid)
{
    QStringList paths;
    sql->run([&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!exec(query, QStringLiteral("SELECT path FROM images WHERE studyuid = ? ORDER BY path"), {studyUid}))
            return;
        while (query.next())
            paths.append(query.value(0).toString());
    });
    return paths;
}
