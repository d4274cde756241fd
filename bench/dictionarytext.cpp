#include "dictionarytext.h"

QStringList dictionaryNames(const QString& stem, int count)
{
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names << stem + QLatin1Char(' ') + QString::number(i);
    return names;
}
