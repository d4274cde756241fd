#include "cloudstudy.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const studyTimeFormat = "yyyy-MM-dd HH:mm:ss";

bool readText(const QJsonObject& body, const char* key, QString* value, QString* error)
{
    const QJsonValue member = body.value(QLatin1String(key));
    if (!member.isString()) {
        *error = QStringLiteral("\"%1\" must be a string").arg(QLatin1String(key));
        return false;
    }
    *value = member.toString();
    return true;
}

bool readWhole(const QJsonObject& body, const char* key, int* value, QString* error)
{
    QString text;
    if (!readText(body, key, &text, error))
        return false;
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("\"%1\" must be a whole number, not \"%2\"").arg(QLatin1String(key), text);
        return false;
    }
    *value = number;
    return true;
}

} // namespace

QByteArray checkNumberReply(const QString& serial)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("rischeckserialnum"), serial}})
        .toJson(QJsonDocument::Compact);
}

QByteArray studyRecordReply(const CloudStudy& study)
{
    const QJsonObject record{
        {QStringLiteral("checkserialnum"), study.serial},
        {QStringLiteral("studyinstanceuid"), study.studyUid},
        {QStringLiteral("patientname"), study.patientName},
        {QStringLiteral("sex"), study.sex},
        {QStringLiteral("age"), study.age},
        {QStringLiteral("ageunit"), study.ageUnit},
        {QStringLiteral("abstracthistory"), study.abstractHistory},
        {QStringLiteral("relevantresult"), study.relevantResult},
        {QStringLiteral("prediagnose"), study.prediagnose},
        {QStringLiteral("checkitemid"), study.checkItemId},
        {QStringLiteral("studypositionid"), study.studyPositionId},
        {QStringLiteral("studytime"), static_cast<double>(study.studyTime)},
    };
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}

bool readRecordBody(const QByteArray& body, CloudStudy* study, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral("body is not JSON: ") + parse.errorString();
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("body is not a JSON object");
        return false;
    }
    const QJsonObject record = document.object();
    CloudStudy read;
    QString time;
    if (!readText(record, "checkserialnum", &read.serial, error)
        || !readText(record, "patientname", &read.patientName, error)
        || !readText(record, "sex", &read.sex, error)
        || !readWhole(record, "age", &read.age, error)
        || !readText(record, "ageunit", &read.ageUnit, error)
        || !readText(record, "studytime", &time, error)
        || !readWhole(record, "studypositionid", &read.studyPositionId, error)
        || !readWhole(record, "checkitemid", &read.checkItemId, error)
        || !readText(record, "abstracthistory", &read.abstractHistory, error)
        || !readText(record, "relevantresult", &read.relevantResult, error)
        || !readText(record, "prediagnose", &read.prediagnose, error))
        return false;
    const QDateTime when = QDateTime::fromString(time, QLatin1String(studyTimeFormat));
    if (!when.isValid()) {
        *error = QStringLiteral("\"studytime\" must be \"%1\", not \"%2\"")
                     .arg(QLatin1String(studyTimeFormat), time);
        return false;
    }
    read.studyTime = when.toMSecsSinceEpoch();
    read.studyUid = study->studyUid;
    *study = read;
    return true;
}
