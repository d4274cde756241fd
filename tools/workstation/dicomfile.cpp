#include "dicomfile.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/oflog/oflog.h>

#include <QFile>

namespace {

QString text(DcmDataset* dataset, const DcmTagKey& tag, bool utf8)
{
    OFString value;
    if (dataset->findAndGetOFStringArray(tag, value).bad())
        return QString();
    const QByteArray bytes(value.c_str(), static_cast<int>(value.length()));
    // Values may carry a NUL pad or a trailing blank; both are padding.
    const QString decoded = utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    QString trimmed = decoded.trimmed();
    while (trimmed.endsWith(QChar(0)))
        trimmed.chop(1);
    return trimmed;
}


// Large values (the pixels) stay in the file; the import reads tags only.
OFCondition load(DcmFileFormat& file, const QString& path)
{
    return file.loadFile(QFile::encodeName(path).constData(), EXS_Unknown, EGL_noChange, 4096);
}

} // namespace

bool readDicomFile(const QString& path, DicomFileInfo* info, QString* error)
{
    DcmFileFormat file;
    const OFCondition loaded = load(file, path);
    if (loaded.bad()) {
        *error = QStringLiteral("not a DICOM file (%1)").arg(QString::fromLatin1(loaded.text()));
        return false;
    }
    DcmDataset* source = file.getDataset();
    DicomFileInfo read;
    read.characterSet = text(source, DCM_SpecificCharacterSet, false);

    // A failed conversion may leave some elements converted and others not,
    // so the texts are then read from a fresh copy of the file.
    const bool utf8 = source->convertToUTF8().good();
    DcmFileFormat raw;
    if (!utf8) {
        if (load(raw, path).bad()) {
            *error = QStringLiteral("the file changed while it was read");
            return false;
        }
        source = raw.getDataset();
    }

    read.patientName = text(source, DCM_PatientName, utf8);
    read.patientId = text(source, DCM_PatientID, utf8);
    read.patientSex = text(source, DCM_PatientSex, false);
    read.patientBirthDate = text(source, DCM_PatientBirthDate, false);
    read.patientAge = text(source, DCM_PatientAge, false);
    read.studyUid = text(source, DCM_StudyInstanceUID, false);
    read.studyDate = text(source, DCM_StudyDate, false);
    read.studyTime = text(source, DCM_StudyTime, false);
    read.studyDescription = text(source, DCM_StudyDescription, utf8);
    read.accessionNumber = text(source, DCM_AccessionNumber, utf8);
    read.studyId = text(source, DCM_StudyID, utf8);
    read.seriesUid = text(source, DCM_SeriesInstanceUID, false);
    read.seriesNumber = text(source, DCM_SeriesNumber, false);
    read.seriesDescription = text(source, DCM_SeriesDescription, utf8);
    read.modality = text(source, DCM_Modality, false);
    read.sopInstanceUid = text(source, DCM_SOPInstanceUID, false);
    read.sopClassUid = text(source, DCM_SOPClassUID, false);
    read.instanceNumber = text(source, DCM_InstanceNumber, false);

    const char* missing = read.studyUid.isEmpty() ? "StudyInstanceUID"
        : read.seriesUid.isEmpty()                ? "SeriesInstanceUID"
        : read.sopInstanceUid.isEmpty()           ? "SOPInstanceUID"
                                                  : nullptr;
    if (missing) {
        *error = QStringLiteral("DICOM file without %1").arg(QLatin1String(missing));
        return false;
    }
    *info = read;
    return true;
}

void quietDicomLogging()
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
}
