#include "dictionary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>

namespace {

// Never null, so that a null result of nameForId always means "no entry".
QString memberText(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QLatin1String("");
}

} // namespace

Dictionary parseDictionary(const QString& json, const QString& idKey, const QString& nameKey)
{
    Dictionary dictionary;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return dictionary;
    dictionary.valid = true;
    const QJsonArray entries = document.array();
    dictionary.ids.reserve(entries.size());
    dictionary.names.reserve(entries.size());
    for (const QJsonValue entry : entries) {
        const QJsonObject object = entry.toObject();
        dictionary.ids.append(memberText(object, idKey));
        dictionary.names.append(memberText(object, nameKey));
    }
    return dictionary;
}

QString idForName(const QStringList& names, const QStringList& ids, int count, const QString& name)
{
    const int limit = std::min(count, int(names.size()));
    int index = 0;
    for (int i = 0; i < limit; ++i) {
        if (names.at(i) == name) {
            index = i;
            break;
        }
    }
    return ids.value(index);
}

QString nameForId(const QStringList& names, int id)
{
    return id >= 0 && id < names.size() ? names.at(id) : QString();
}
