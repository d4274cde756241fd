#ifndef UPLOADIMAGES_H
#define UPLOADIMAGES_H

#include <QString>
#include <QStringList>

// Writes @p count DICOM images of one new study below @p folder, each a
// complete file whose pixel data alone holds @p pixelBytes (rounded down to
// whole rows of 256 16-bit samples), so that the cloud reads them as it reads
// a workstation's images. The paths in @p files; false with the reason.
bool writeUploadImages(const QString& folder, int count, int pixelBytes, QStringList* files, QString* error);

#endif
