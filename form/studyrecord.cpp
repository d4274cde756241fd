#include "studyrecord.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <climits>
#include <cmath>

namespace {

QJsonObject replyObject(const QByteArray& reply)
{
    const int end = reply.indexOf('\0');
    const QString text = QString::fromUtf8(end < 0 ? reply : reply.left(end));
    // A parse error and a non-object document both give the empty object.
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QString textField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

int wholeNumberField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Range first: converting an out-of-range double to int is undefined.
    if (!(number >= double(INT_MIN) && number <= double(INT_MAX)))
        return 0;
    if (std::trunc(number) != number)
        return 0;
    return int(number);
}

double numberField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? value.toDouble() : 0.0;
}

} // namespace

StudyRecord readStudyRecord(const QByteArray& reply)
{
    const QJsonObject object = replyObject(reply);
    StudyRecord record;
    record.checkSerialNum = textField(object, "checkserialnum");
    record.checkItemId = wholeNumberField(object, "checkitemid");
    record.abstractHistory = textField(object, "abstracthistory");
    record.age = wholeNumberField(object, "age");
    record.ageUnit = textField(object, "ageunit");
    record.patientName = textField(object, "patientname");
    record.prediagnose = textField(object, "prediagnose");
    record.relevantResult = textField(object, "relevantresult");
    record.sex = textField(object, "sex");
    record.studyTime = numberField(object, "studytime");
    record.studyPositionId = wholeNumberField(object, "studypositionid");
    return record;
}

qint64 studyTimeMsecs(double studyTime)
{
    const double whole = std::trunc(studyTime);
    // -2^63 and 2^63 are exact doubles; NaN fails both comparisons.
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return 0;
    return qint64(whole);
}
