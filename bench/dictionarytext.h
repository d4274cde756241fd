#ifndef DICTIONARYTEXT_H
#define DICTIONARYTEXT_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// Names of a dictionary with @p count entries: @p stem, a blank and the
// entry's number, so that every name is distinct.
QStringList dictionaryNames(const QString& stem, int count);

// The dictionary file's JSON array for @p names, in order, each entry's id
// the text of its position ("0", "1", ...) as the cloud numbers them.
QString dictionaryJson(const QStringList& names, const QString& idKey, const QString& nameKey);

// @p text encoded as GBK, the encoding of the form's dictionary files.
QByteArray gbkBytes(const QString& text);

#endif
