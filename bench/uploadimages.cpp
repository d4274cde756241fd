#include "uploadimages.h"

#include "samplestudies.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

namespace {

constexpr int columns = 256;
constexpr int imagesPerSeries = 100;

// The generator writes small images; this gives one the size of a real one.
bool enlarge(const QString& path, int rows, int variant, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    DcmFileFormat file;
    OFCondition status = file.loadFile(name.constData());
    DcmDataset* data = file.getDataset();
    const std::vector<uint16_t> pixels = samplePixels(rows, columns, variant);
    if (status.good())
        status = data->putAndInsertUint16(DCM_Rows, Uint16(rows));
    if (status.good())
        status = data->putAndInsertUint16(DCM_Columns, Uint16(columns));
    if (status.good())
        status = data->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
    if (status.good())
        status = file.saveFile(name.constData(), EXS_LittleEndianExplicit);
    if (status.bad())
        *error = QStringLiteral("cannot enlarge %1: %2").arg(path, QString::fromLatin1(status.text()));
    return status.good();
}

} // namespace

bool writeUploadImages(const QString& folder, int count, int pixelBytes, QStringList* files, QString* error)
{
    const int rows = pixelBytes / (columns * 2);
    if (count <= 0 || rows <= 0 || rows > 65535) {
        *error = QStringLiteral("cannot make %1 images of %2 bytes").arg(count).arg(pixelBytes);
        return false;
    }
    SampleStudyPlan plan;
    plan.patient = {QStringLiteral("Bench^Upload"), QStringLiteral("B0001"), QStringLiteral("F"), QStringLiteral("051Y")};
    plan.description = QStringLiteral("Upload throughput");
    plan.studyTime = QDateTime(QDate(2024, 5, 6), QTime(10, 20));
    plan.modality = QStringLiteral("CT");
    plan.seriesCount = (count + imagesPerSeries - 1) / imagesPerSeries;
    plan.imagesPerSeries = std::min(count, imagesPerSeries);

    SampleStudy study;
    if (!writeSampleStudy(folder, QStringLiteral("study"), plan, &study, error))
        return false;
    const QStringList written = study.files().mid(0, count);
    QStringList paths;
    for (int i = 0; i < written.size(); ++i) {
        const QString path = QDir(folder).filePath(written.at(i));
        if (!enlarge(path, rows, i, error))
            return false;
        paths << path;
    }
    *files = paths;
    return true;
}
