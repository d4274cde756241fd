#ifndef RECORDBODY_H
#define RECORDBODY_H

#include <QByteArray>
#include <QStringList>

class QJsonObject;

// Inserts every key with its value, as a JSON string, into @p object (existing
// members are replaced) and returns the object written as indented JSON.
QByteArray buildRecordBody(QJsonObject& object, const QStringList& keys, const QStringList& values);

#endif
