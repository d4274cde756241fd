#ifndef CLOUDSTUDY_H
#define CLOUDSTUDY_H

#include <QByteArray>
#include <QString>

// The cloud's examination record of one study.
struct CloudStudy
{
    QString serial;  // "checkserialnum", assigned when the study is registered
    QString studyUid;
    QString patientName;
    QString sex;
    int age = 0;
    QString ageUnit;
    QString abstractHistory;
    QString relevantResult;
    QString prediagnose;
    int checkItemId = 0;
    int studyPositionId = 0;
    qint64 studyTime = 0;  // milliseconds since the epoch, UTC
};

// {"rischeckserialnum":"<serial>"}, without blanks: clients cut the serial out
// between the last colon and the last brace.
QByteArray checkNumberReply(const QString& serial);

// The record as getStudyInfo answers it: texts as strings, age, ids and the
// study time as numbers.
QByteArray studyRecordReply(const CloudStudy& study);

// Reads the body of a modify request, an object whose eleven record members are
// all strings ("studytime" as "yyyy-MM-dd HH:mm:ss" local time). Fills every
// field but studyUid; false with the reason when a member is missing or unusable.
bool readRecordBody(const QByteArray& body, CloudStudy* study, QString* error);

#endif
