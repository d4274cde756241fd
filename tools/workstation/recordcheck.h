#ifndef RECORDCHECK_H
#define RECORDCHECK_H

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// What the study form sends for a record, key by key, as texts.
using RecordValues = QMap<QString, QString>;

// Compares a study record as the cloud answers it (texts as strings, age, ids
// and "studytime" as numbers) or as the form sends it (all strings) with the
// texts the form showed. A number is compared by its decimal text, a
// "studytime" number by its local time "yyyy-MM-dd HH:mm:ss". One line per
// key that is missing or differs; empty when all agree.
QStringList recordDifferences(const QJsonObject& record, const RecordValues& expected);

#endif
