#ifndef STUDYRECORD_H
#define STUDYRECORD_H

#include <QString>

class QByteArray;

// The record of one study as the cloud last sent it.
struct StudyRecord
{
    QString patientName;
    QString sex;
    int age = 0;
    QString ageUnit;
    double studyTime = 0;  // milliseconds since 1970-01-01T00:00:00 UTC
    int studyPositionId = 0;
    int checkItemId = 0;
    QString abstractHistory;
    QString relevantResult;
    QString prediagnose;
    QString checkSerialNum;
};

// Reads a study-record reply: the bytes up to the first zero byte, as UTF-8
// JSON. A key that is missing or of another type keeps its default; whole
// numbers given with a fraction, as text or outside int's range read as 0.
// Anything that is not a JSON object gives the defaults.
StudyRecord readStudyRecord(const QByteArray& reply);

// studyTime as whole milliseconds, the fraction dropped; values outside the
// range of qint64 (and NaN) give 0.
qint64 studyTimeMsecs(double studyTime);

#endif
