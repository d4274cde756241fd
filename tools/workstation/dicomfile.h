#ifndef DICOMFILE_H
#define DICOMFILE_H

#include <QString>

// The tags of one image file that the local database keeps. Texts are
// decoded from the file's character set and trimmed of DICOM padding.
struct DicomFileInfo
{
    QString patientName;  // DICOM person name, e.g. "Smith^John", "张三"
    QString patientId;
    QString patientSex;
    QString patientBirthDate;
    QString patientAge;
    QString studyUid;
    QString studyDate;  // "YYYYMMDD"
    QString studyTime;  // "HHMMSS[.F]"
    QString studyDescription;
    QString accessionNumber;
    QString studyId;
    QString seriesUid;
    QString seriesNumber;
    QString seriesDescription;
    QString modality;
    QString sopInstanceUid;
    QString sopClassUid;
    QString instanceNumber;
    QString characterSet;  // SpecificCharacterSet as written, e.g. "ISO_IR 192", "GB18030"
};

// Reads a DICOM file (with or without file meta header). Texts in a character
// set other than UTF-8 are converted by DCMTK; when it cannot convert them
// (unknown set, bytes not valid in the set) they are read as Latin-1, so that
// an odd name never costs the image. False with the reason when the file is
// not DICOM or lacks a StudyInstanceUID, SeriesInstanceUID or SOPInstanceUID.
bool readDicomFile(const QString& path, DicomFileInfo* info, QString* error);

#endif
