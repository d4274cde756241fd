#ifndef FORMFIXTURE_H
#define FORMFIXTURE_H

#include "formfiles.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <string>

// The service paths that FormFiles::writeEndpoints() configures, and its replies.
namespace formcloud {

inline const std::string lookupPath = FormFiles::endpointPath(FormFiles::Lookup).toStdString();
inline const std::string recordPath = FormFiles::endpointPath(FormFiles::Record).toStdString();
inline const std::string modifyPath = FormFiles::endpointPath(FormFiles::Modify).toStdString();
inline const std::string checkItemPath = FormFiles::endpointPath(FormFiles::CheckItem).toStdString();
inline const std::string positionPath = FormFiles::endpointPath(FormFiles::Position).toStdString();
inline const std::string uploadPath = "/assist/upload";

// The message boxes' texts.
inline const QString saveQuestion = QStringLiteral("Are you sure to SAVE ALL ?");
inline const QString netError = QStringLiteral("Net connect error,please check again!");
inline const QString lookupError = QStringLiteral("CheckSerialNum Query Error!");
inline const QString localCopyLost = QStringLiteral("Saved in Cloud, but the local copy could not be kept!");
inline const QString symptomRequired = QStringLiteral("Patient Symptom is required!");
inline const QString notInCloud = QStringLiteral(
    "The information did not exist in Cloud, you have to upload the images to edit the information!");

// Sets @p key ("cloud/...") in the clouddata.ini that the form and the uploads read.
inline void setCloudValue(const QString& key, const QVariant& value)
{
    QSettings(FormFiles::dir("/config/clouddata.ini"), QSettings::IniFormat).setValue(key, value);
}

inline ScriptedReply scripted(const std::string& body)
{
    ScriptedReply reply;
    reply.body = body;
    return reply;
}

// Position 1 and check item 2; studytime is 2020-09-13 12:26:40.123 UTC.
inline const std::string fullRecord =
    R"({"patientname":"Zhang San","sex":"M","age":42,"ageunit":"Y","studytime":1600000000123,)"
    R"("studypositionid":1,"checkitemid":2,"abstracthistory":"cough for <b>3</b> days",)"
    R"("relevantresult":"x-ray clear","prediagnose":"bronchitis","checkserialnum":"RIS-9"})";

// A cloud on @p server that knows the study as @p serial: the lookup names it,
// fullRecord is its record, saves and uploads are taken. The form's files are
// written afresh for it, the dictionaries from FormFiles.
inline bool serveStudy(TestServer& server, const std::string& serial = "A123")
{
    const ScriptedReply named = scripted(R"({"rischeckserialnum":")" + serial + "\"}");
    server.setReply("GET", lookupPath, named);
    server.setReply("GET", recordPath, scripted(fullRecord));
    server.setReply("POST", modifyPath, scripted("ok"));
    server.setReply("POST", uploadPath, named);
    FormFiles::clear();
    return FormFiles::writeDictionaries() && FormFiles::writeEndpoints(server.url());
}

} // namespace formcloud

#endif
