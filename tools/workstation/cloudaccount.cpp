#include "cloudaccount.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace {

QString percentEncoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

CloudAccount::CloudAccount(const QString& baseUrl, long timeoutSeconds, const QString& caFile)
    : base(baseUrl), http(timeoutSeconds, caFile)
{
}

bool CloudAccount::login(const QString& user, const QString& password)
{
    const HttpReply reply =
        http.postForm(base + QStringLiteral("/kelva/login"), {{"user", user.toUtf8()}, {"password", password.toUtf8()}});
    if (!reply.completed) {
        error = QStringLiteral("cannot reach %1: %2").arg(base, reply.error);
        return false;
    }
    if (reply.status != 200) {
        error = QStringLiteral("login refused (HTTP %1): %2").arg(reply.status).arg(QString::fromUtf8(reply.body));
        return false;
    }
    session = sessionIdFromLogin(reply);
    if (session.isEmpty()) {
        error = QStringLiteral("the login reply names no session");
        return false;
    }
    return true;
}

std::optional<QByteArray> CloudAccount::fetch(const QString& pathAndQuery)
{
    const HttpReply reply = http.get(base + pathAndQuery, session);
    if (!reply.completed) {
        error = QStringLiteral("GET %1: %2").arg(pathAndQuery, reply.error);
        return std::nullopt;
    }
    if (reply.status != 200) {
        error = QStringLiteral("GET %1: HTTP %2 %3").arg(pathAndQuery).arg(reply.status).arg(QString::fromUtf8(reply.body));
        return std::nullopt;
    }
    return reply.body;
}

std::optional<QString> CloudAccount::serialOf(const QString& studyUid)
{
    const std::optional<QByteArray> body =
        fetch(QStringLiteral("/kelva/individual/findCheckNum4Unique?studyinstanceuid=") + percentEncoded(studyUid));
    if (!body)
        return std::nullopt;
    const std::optional<QString> serial = serialFromLookup(*body);
    if (!serial)
        error = QStringLiteral("unexpected lookup reply: %1").arg(QString::fromUtf8(*body));
    return serial;
}

std::optional<QJsonObject> CloudAccount::studyRecord(const QString& serial)
{
    const std::optional<QByteArray> body =
        fetch(QStringLiteral("/kelva/individual/getStudyInfo.do?checkserialnum=") + percentEncoded(serial));
    if (!body)
        return std::nullopt;
    const QJsonObject record = QJsonDocument::fromJson(*body).object();
    if (record.isEmpty()) {
        error = QStringLiteral("no record under %1: %2").arg(serial, QString::fromUtf8(*body));
        return std::nullopt;
    }
    return record;
}

std::optional<QByteArray> CloudAccount::checkItemDictionary()
{
    return fetch(QStringLiteral("/kelva/patientmanagerform/getCheckitem.do"));
}

std::optional<QByteArray> CloudAccount::positionDictionary()
{
    return fetch(QStringLiteral("/kelva/patientmanagerform/getPosition.do"));
}

QByteArray sessionIdFromLogin(const HttpReply& reply)
{
    static const QByteArray name = "JSESSIONID=";
    for (const QByteArray& line : reply.headers) {
        const int colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "set-cookie")
            continue;
        // The cookie's own pair comes first; attributes follow after ';'.
        const QByteArray pair = line.mid(colon + 1).split(';').first().trimmed();
        if (pair.startsWith(name) && pair.size() > name.size())
            return pair.mid(name.size());
    }
    const QJsonValue id = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("jsessionid"));
    return id.isString() ? id.toString().toUtf8() : QByteArray();
}

std::optional<QString> serialFromLookup(const QByteArray& reply)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(reply, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.isEmpty())
        return QString();
    const QJsonValue serial = object.value(QStringLiteral("rischeckserialnum"));
    if (!serial.isString() || serial.toString().isEmpty())
        return std::nullopt;
    return serial.toString();
}

std::optional<QVector<DictionaryEntry>> dictionaryEntries(const QByteArray& json, const QString& idKey,
                                                          const QString& nameKey)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QVector<DictionaryEntry> entries;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject entry = value.toObject();
        entries.append({entry.value(idKey).toString(), entry.value(nameKey).toString()});
    }
    return entries;
}

QStringList dictionaryNames(const QVector<DictionaryEntry>& entries)
{
    QStringList names;
    for (const DictionaryEntry& entry : entries)
        names.append(entry.name);
    return names;
}
