#ifndef DICOMTEXT_H
#define DICOMTEXT_H

#include <QString>
#include <QVariant>

class DcmDataset;
class DcmTagKey;

// The value of a text tag without its padding (blanks, a NUL pad); empty when
// the tag is missing. utf8: decode as UTF-8 (the dataset was converted), else Latin-1.
QString dicomText(DcmDataset* dataset, const DcmTagKey& tag, bool utf8);

// A text for a table column: a missing tag reads as a null QString, which Qt
// would bind as SQL NULL; it is stored as an empty text instead.
QVariant columnText(const QString& value);

// DCMTK reports every oddity of a file on the console; the tools say what
// matters themselves.
void quietDicomLogging();

#endif
