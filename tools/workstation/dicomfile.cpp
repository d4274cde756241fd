#include "dicomfile.h"
#include "dicomtext.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QFile>

namespace {

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
    read.characterSet = dicomText(source, DCM_SpecificCharacterSet, false);

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

    read.patientName = dicomText(source, DCM_PatientName, utf8);
    read.patientId = dicomText(source, DCM_PatientID, utf8);
    read.patientSex = dicomText(source, DCM_PatientSex, false);
    read.patientBirthDate = dicomText(source, DCM_PatientBirthDate, false);
    read.patientAge = dicomText(source, DCM_PatientAge, false);
    read.studyUid = dicomText(source, DCM_StudyInstanceUID, false);
    read.studyDate = dicomText(source, DCM_StudyDate, false);
    read.studyTime = dicomText(source, DCM_StudyTime, false);
    read.studyDescription = dicomText(source, DCM_StudyDescription, utf8);
    read.accessionNumber = dicomText(source, DCM_AccessionNumber, utf8);
    read.studyId = dicomText(source, DCM_StudyID, utf8);
    read.seriesUid = dicomText(source, DCM_SeriesInstanceUID, false);
    read.seriesNumber = dicomText(source, DCM_SeriesNumber, false);
    read.seriesDescription = dicomText(source, DCM_SeriesDescription, utf8);
    read.modality = dicomText(source, DCM_Modality, false);
    read.sopInstanceUid = dicomText(source, DCM_SOPInstanceUID, false);
    read.sopClassUid = dicomText(source, DCM_SOPClassUID, false);
    read.instanceNumber = dicomText(source, DCM_InstanceNumber, false);

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
