#include "recordbody.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

QByteArray buildRecordBody(QJsonObject& object, const QStringList& keys, const QStringList& values)
{
    // Every value goes out as a JSON string, ids and age included; a missing
    // value is sent as "".
    for (int i = 0; i < keys.size(); ++i)
        object.insert(keys.at(i), QJsonValue(values.value(i)));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
