#ifndef CLOUDACCOUNT_H
#define CLOUDACCOUNT_H

#include "httpclient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The host's own session with the cloud service: it logs in, hands the
// session id to the study forms, and reads back what the service holds.
class CloudAccount
{
public:
    // @p baseUrl: scheme, host and port, e.g. "https://127.0.0.1:8082";
    // @p caFile: the CAs trusted over https (empty: libcurl's default store).
    explicit CloudAccount(const QString& baseUrl, long timeoutSeconds = 20, const QString& caFile = QString());

    // POST /kelva/login with the user and password as form fields.
    bool login(const QString& user, const QString& password);
    QByteArray sessionId() const { return session; }
    QString errorString() const { return error; }

    // The study's check serial number; empty when the cloud does not know the
    // study; no value when the lookup failed.
    std::optional<QString> serialOf(const QString& studyUid);
    // The record stored under a serial number; no value when there is none.
    std::optional<QJsonObject> studyRecord(const QString& serial);
    // The raw dictionary texts (UTF-8 JSON arrays).
    std::optional<QByteArray> checkItemDictionary();
    std::optional<QByteArray> positionDictionary();

private:
    std::optional<QByteArray> fetch(const QString& pathAndQuery);

    QString base;
    HttpClient http;
    QByteArray session;
    QString error;
};

// The JSESSIONID of a login reply: from its Set-Cookie header, else from a
// JSON body {"jsessionid": "..."}; empty when neither holds one.
QByteArray sessionIdFromLogin(const HttpReply& reply);

// A check-number lookup reply read as JSON: "{}" gives an empty serial, an
// object with a string "rischeckserialnum" gives that string, anything else
// no value.
std::optional<QString> serialFromLookup(const QByteArray& reply);

struct DictionaryEntry
{
    QString id;
    QString name;
};

// The entries of a dictionary (a JSON array of objects with string members
// @p idKey and @p nameKey), in order; a member that is missing or not a string
// reads as empty. No value when the text is not a JSON array.
std::optional<QVector<DictionaryEntry>> dictionaryEntries(const QByteArray& json, const QString& idKey,
                                                          const QString& nameKey);

QStringList dictionaryNames(const QVector<DictionaryEntry>& entries);

#endif
