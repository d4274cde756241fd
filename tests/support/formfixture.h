#ifndef FORMFIXTURE_H
#define FORMFIXTURE_H

#include "testserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>

// The files a study form reads: settings in <app dir>/config, the two
// dictionaries in <app dir>/../config. clear() removes both folders.
struct FormFiles
{
    static QString dir(const char* folder) { return QCoreApplication::applicationDirPath() + QLatin1String(folder); }
    static QString checkItemFile() { return dir("/../config/cloudCheckItem.json"); }
    static QString positionFile() { return dir("/../config/cloudPositionItem.json"); }
    static QByteArray checkItems() { return R"([{"checkitemid":"0","checkitem":"CT Head"},{"checkitemid":"1","checkitem":"CT Chest"},)"
                                            R"({"checkitemid":"2","checkitem":"MR Knee"}])"; }
    static QByteArray positions() { return R"([{"positiontypeid":"0","positiontypename":"Head"},{"positiontypeid":"1","positiontypename":"Chest"}])"; }

    static bool write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool writeDictionaries(const QByteArray& items = checkItems(), const QByteArray& places = positions())
    {
        return write(checkItemFile(), items) && write(positionFile(), places);
    }
    // Every endpoint on @p base, the image upload at @p assist.
    static bool writeEndpoints(const QString& base, const char* assist = "/assist/upload", int timeout = 10)
    {
        const QString ini = QStringLiteral(
            "[cloud]\npositionDownLoadUrl=%1/kelva/patientmanagerform/getPosition.do\n"
            "checkItemDownLoadUrl=%1/kelva/patientmanagerform/getCheckitem.do\n"
            "uploadCurl=%1/kelva/individual/modifyStudyInfo.do\n"
            "getcheckNumCurl=%1/kelva/individual/findCheckNum4Unique?\n"
            "getCloudPatientInfoCurl=%1/kelva/individual/getStudyInfo.do?\n"
            "assistUrl=%1%2\nrequestTimeout=%3\n").arg(base, QLatin1String(assist)).arg(timeout);
        return write(dir("/config/clouddata.ini"), ini.toUtf8());
    }
    static void clear()
    {
        QDir(dir("/config")).removeRecursively();
        QDir(dir("/../config")).removeRecursively();
    }
};

// The service paths that FormFiles::writeEndpoints() configures, and its replies.
namespace formcloud {

inline const std::string lookupPath = "/kelva/individual/findCheckNum4Unique";
inline const std::string recordPath = "/kelva/individual/getStudyInfo.do";
inline const std::string modifyPath = "/kelva/individual/modifyStudyInfo.do";
inline const std::string checkItemPath = "/kelva/patientmanagerform/getCheckitem.do";
inline const std::string positionPath = "/kelva/patientmanagerform/getPosition.do";
inline const std::string uploadPath = "/assist/upload";

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

} // namespace formcloud

#endif
