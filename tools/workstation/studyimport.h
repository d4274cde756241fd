#ifndef STUDYIMPORT_H
#define STUDYIMPORT_H

#include <QString>
#include <QStringList>

class LocalDatabase;

struct ImportSummary
{
    int files = 0;       // regular files looked at
    int images = 0;      // images added
    int known = 0;       // images already in the database
    int studies = 0;     // studies added
    int skipped = 0;     // files that are not usable DICOM images
    QStringList problems;  // the first few reasons, "file: reason"
    QString error;       // set when the import could not run or was undone
};

// Imports every DICOM image below @p folder (hidden files and DICOMDIR left
// out) in one transaction, in path order so that studies are numbered the
// same way on every run. A database failure undoes the whole folder.
ImportSummary importFolder(const QString& folder, LocalDatabase& database);

// One line for the operator: "4 studies, 18 images added; 0 known; 1 skipped".
QString describeImport(const ImportSummary& summary);

#endif
