#ifndef FORMFIXTURE_H
#define FORMFIXTURE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <string>

// The files a study form reads, placed where the test executable's form looks
// for them: settings in <app dir>/config/ or <app dir>/../config/, the two
// dictionaries only in <app dir>/../config/. clear() removes both folders.
struct FormFiles
{
    static QString appConfigDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/config"); }
    static QString besideConfigDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../config"); }
    static QString checkItemFile() { return besideConfigDir() + QStringLiteral("/cloudCheckItem.json"); }
    static QString positionFile() { return besideConfigDir() + QStringLiteral("/cloudPositionItem.json"); }

    static QByteArray checkItems()
    {
        return QByteArrayLiteral(R"([{"checkitemid":"0","checkitem":"CT Head"},)"
                                 R"({"checkitemid":"1","checkitem":"CT Chest"},)"
                                 R"({"checkitemid":"2","checkitem":"MR Knee"}])");
    }

    static QByteArray positions()
    {
        return QByteArrayLiteral(R"([{"positiontypeid":"0","positiontypename":"Head"},)"
                                 R"({"positiontypeid":"1","positiontypename":"Chest"}])");
    }

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

    // clouddata.ini in the application's own config folder, every endpoint on
    // @p base with the service's usual paths; uploads go to /assist/upload.
    // Records are posted to @p modifyBase when given.
    static bool writeEndpoints(const QString& base, QString modifyBase = QString())
    {
        if (modifyBase.isNull())
            modifyBase = base;
        const QString ini = QStringLiteral(
            "[cloud]\n"
            "positionDownLoadUrl=%1/kelva/patientmanagerform/getPosition.do\n"
            "checkItemDownLoadUrl=%1/kelva/patientmanagerform/getCheckitem.do\n"
            "uploadCurl=%2/kelva/individual/modifyStudyInfo.do\n"
            "getcheckNumCurl=%1/kelva/individual/findCheckNum4Unique?\n"
            "getCloudPatientInfoCurl=%1/kelva/individual/getStudyInfo.do?\n"
            "assistUrl=%1/assist/upload\n"
            "requestTimeout=10\n").arg(base, modifyBase);
        return write(appConfigDir() + QStringLiteral("/clouddata.ini"), ini.toUtf8());
    }

    static void clear()
    {
        QDir(appConfigDir()).removeRecursively();
        QDir(besideConfigDir()).removeRecursively();
    }
};

// The cloud service as the form's tests script it: the paths that
// FormFiles::writeEndpoints() configures, and a complete study record.
namespace formcloud {

inline const std::string lookupPath = "/kelva/individual/findCheckNum4Unique";
inline const std::string recordPath = "/kelva/individual/getStudyInfo.do";
inline const std::string modifyPath = "/kelva/individual/modifyStudyInfo.do";
inline const std::string checkItemPath = "/kelva/patientmanagerform/getCheckitem.do";
inline const std::string positionPath = "/kelva/patientmanagerform/getPosition.do";
inline const std::string uploadPath = "/assist/upload";

// Position 1 and check item 2; studytime is 2020-09-13 12:26:40.123 UTC.
inline const std::string fullRecord =
    R"({"patientname":"Zhang San","sex":"M","age":42,"ageunit":"Y","studytime":1600000000123,)"
    R"("studypositionid":1,"checkitemid":2,"abstracthistory":"cough for <b>3</b> days",)"
    R"("relevantresult":"x-ray clear","prediagnose":"bronchitis","checkserialnum":"RIS-9"})";

} // namespace formcloud

#endif
