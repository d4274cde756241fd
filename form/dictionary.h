#ifndef DICTIONARY_H
#define DICTIONARY_H

#include <QString>
#include <QStringList>

// Entries of one dictionary, in the order of its JSON array.
struct Dictionary
{
    bool valid = false;  // false: the text is not JSON
    bool array = false;  // the text is a JSON array
    QStringList ids;
    QStringList names;
};

// Parses a dictionary text (encoded as UTF-8 for the parser). A document
// holding an object, or any non-array, gives no entries; a member that is
// missing or not a string reads as ""; a non-object element as an empty object.
Dictionary parseDictionary(const QString& json, const QString& idKey, const QString& nameKey);

// The two readers behind parseDictionary. readPlainDictionary takes only the
// usual shape, an array of objects whose members are plain strings, straight
// from the text, and returns false for anything else; readJsonDictionary reads
// every text through QJsonDocument. Where the first accepts, both agree.
bool readPlainDictionary(const QString& json, const QString& idKey, const QString& nameKey, Dictionary* dictionary);
Dictionary readJsonDictionary(const QString& json, const QString& idKey, const QString& nameKey);

inline Dictionary parseCheckItems(const QString& json)
{
    return parseDictionary(json, QStringLiteral("checkitemid"), QStringLiteral("checkitem"));
}

inline Dictionary parsePositions(const QString& json)
{
    return parseDictionary(json, QStringLiteral("positiontypeid"), QStringLiteral("positiontypename"));
}

// The id saved for the selected @p name: the id at the first of the first
// @p count names equal to it (case-sensitive), else the first id; "" when the
// dictionary has no entries.
QString idForName(const QStringList& names, const QStringList& ids, int count, const QString& name);

// The name shown for a record's numeric id, which counts entries from 0; a
// null string when the id is negative or at or beyond the entries.
QString nameForId(const QStringList& names, int id);

#endif
