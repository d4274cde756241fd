#ifndef DICOMSTUDYINFO_H
#define DICOMSTUDYINFO_H

#include <QString>

#include <optional>

// What the cloud takes from an uploaded image to register its study.
struct DicomStudyInfo
{
    QString studyUid;
    QString sopInstanceUid;  // may be empty
    QString patientName;
    QString sex;
    int age = 0;
    QString ageUnit;  // empty when the file has no usable age
    std::optional<qint64> studyTime;  // ms since the epoch, when the file has a study date
};

// Reads a DICOM file (with or without meta header). False with the reason when
// the file is not DICOM or has no StudyInstanceUID.
bool readDicomStudyInfo(const QString& path, DicomStudyInfo* info, QString* error);

// A DICOM age string ("045Y", "003M", "002W", "010D") as a number and the unit
// the record uses: Y, M or D (weeks become days). False for anything else.
bool parseDicomAge(const QString& text, int* age, QString* unit);

// DICOM date "YYYYMMDD" and time "HH[MM[SS[.F]]]" (colons tolerated, empty time
// is midnight) read as local time. False when the date or time is not valid.
bool parseDicomDateTime(const QString& date, const QString& time, qint64* msecs);

#endif
