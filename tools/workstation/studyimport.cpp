#include "studyimport.h"

#include "dicomfile.h"
#include "localdatabase.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

const int maxProblems = 5;

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().compare(QLatin1String("DICOMDIR"), Qt::CaseInsensitive) != 0)
            files.append(QFileInfo(path).absoluteFilePath());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

ImportSummary importFolder(const QString& folder, LocalDatabase& database)
{
    ImportSummary summary;
    if (!QFileInfo(folder).isDir()) {
        summary.error = QStringLiteral("%1 is not a folder").arg(folder);
        return summary;
    }
    if (!database.transaction()) {
        summary.error = QStringLiteral("cannot start a transaction: %1").arg(database.errorString());
        return summary;
    }
    for (const QString& path : filesBelow(folder)) {
        ++summary.files;
        DicomFileInfo image;
        QString why;
        if (!readDicomFile(path, &image, &why)) {
            ++summary.skipped;
            if (summary.problems.size() < maxProblems)
                summary.problems.append(path + QStringLiteral(": ") + why);
            continue;
        }
        switch (database.addImage(image, path)) {
        case ImageAdded::NewStudy:
            ++summary.studies;
            ++summary.images;
            break;
        case ImageAdded::NewImage:
            ++summary.images;
            break;
        case ImageAdded::AlreadyKnown:
            ++summary.known;
            break;
        case ImageAdded::Failed:
            database.rollback();
            summary.error = QStringLiteral("cannot store %1: %2").arg(path, database.errorString());
            summary.images = summary.studies = 0;
            return summary;
        }
    }
    if (!database.commit()) {
        database.rollback();
        summary.error = QStringLiteral("cannot store the import: %1").arg(database.errorString());
        summary.images = summary.studies = 0;
    }
    return summary;
}

QString describeImport(const ImportSummary& summary)
{
    return QStringLiteral("%1 studies, %2 images added; %3 known; %4 skipped")
        .arg(summary.studies)
        .arg(summary.images)
        .arg(summary.known)
        .arg(summary.skipped);
}
