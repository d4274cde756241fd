#ifndef DICTIONARYTEXT_H
#define DICTIONARYTEXT_H

#include <QString>
#include <QStringList>

// Names of a dictionary with @p count entries: @p stem, a blank and the
// entry's number, so that every name is distinct.
QStringList dictionaryNames(const QString& stem, int count);

#endif
