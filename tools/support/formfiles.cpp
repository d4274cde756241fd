#include "formfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextCodec>

namespace {

struct EndpointKey
{
    const char* key;
    const char* path;
    const char* query;  // what the form appends to the URL, so the value ends with "?"
    const char* comment;
};

// In the order the form reads them, which is the order of FormFiles::Endpoint.
const EndpointKey endpointKeys[] = {
    {"positionDownLoadUrl", "/kelva/patientmanagerform/getPosition.do", "",
     "body-position dictionary, fetched after every save"},
    {"checkItemDownLoadUrl", "/kelva/patientmanagerform/getCheckitem.do", "",
     "examination-item dictionary, fetched after every save"},
    {"uploadCurl", "/kelva/individual/modifyStudyInfo.do", "", "where a saved record is posted"},
    {"getcheckNumCurl", "/kelva/individual/findCheckNum4Unique", "?",
     "serial-number lookup; the form appends \"studyinstanceuid=<UID>\", so keep the \"?\""},
    {"getCloudPatientInfoCurl", "/kelva/individual/getStudyInfo.do", "?",
     "study record; the form appends \"checkserialnum=<serial>\", so keep the \"?\""},
};

} // namespace

QString FormFiles::endpointPath(Endpoint endpoint)
{
    return QLatin1String(endpointKeys[endpoint].path);
}

QString FormFiles::dir(const char* folder)
{
    return QCoreApplication::applicationDirPath() + QLatin1String(folder);
}

QString FormFiles::settingsFile()
{
    return dir("/config/clouddata.ini");
}

QString FormFiles::checkItemFile()
{
    return dir("/../config/cloudCheckItem.json");
}

QString FormFiles::positionFile()
{
    return dir("/../config/cloudPositionItem.json");
}

QString FormFiles::proxyFile()
{
    return dir("/../config/proxy.txt");
}

QStringList FormFiles::all()
{
    return {settingsFile(), dir("/../config/clouddata.ini"), dir("/config/main.ini"), dir("/../config/main.ini"),
            checkItemFile(), positionFile(), proxyFile()};
}

QByteArray FormFiles::checkItems()
{
    return R"([{"checkitemid":"0","checkitem":"CT Head"},{"checkitemid":"1","checkitem":"CT Chest"},)"
           R"({"checkitemid":"2","checkitem":"MR Knee"}])";
}

QByteArray FormFiles::positions()
{
    return R"([{"positiontypeid":"0","positiontypename":"Head"},{"positiontypeid":"1","positiontypename":"Chest"}])";
}

bool FormFiles::write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray FormFiles::read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool FormFiles::writeDictionaries(const QByteArray& items, const QByteArray& places)
{
    return write(checkItemFile(), items) && write(positionFile(), places);
}

bool FormFiles::writeMissingDictionaries()
{
    for (const QString& path : {checkItemFile(), positionFile()}) {
        if (!QFileInfo::exists(path) && !write(path, "[]"))
            return false;
    }
    return true;
}

bool FormFiles::writeEndpoints(const QString& base, const char* assist, int timeout, const Settings& extra)
{
    return write(settingsFile(), cloudData(base, QLatin1String(assist), timeout, extra));
}

QByteArray FormFiles::cloudData(const QString& base, const QString& assist, int timeout, const Settings& extra,
                                bool commented)
{
    QString ini;
    const auto line = [&](const QString& key, const QString& value, const char* comment) {
        if (commented)
            ini += QStringLiteral("; %1\n").arg(QLatin1String(comment));
        ini += key + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    if (commented)
        ini += QStringLiteral("; The study form's cloud service. Goes to <program folder>/config/clouddata.ini\n"
                              "; (or <program folder>/../config/clouddata.ini). Once the file exists, a key\n"
                              "; that is missing or empty leaves its request without a URL.\n");
    ini += QStringLiteral("[cloud]\n");
    for (const EndpointKey& endpoint : endpointKeys)
        line(QLatin1String(endpoint.key), base + QLatin1String(endpoint.path) + QLatin1String(endpoint.query),
             endpoint.comment);
    line(QStringLiteral("assistUrl"), base + assist, "where the cloud client library uploads a study's images");
    if (timeout > 0)
        line(QStringLiteral("requestTimeout"), QString::number(timeout),
             "seconds a request or an upload's file may stall before it fails; 0 or missing: no bound");
    for (const auto& [key, value] : extra)
        ini += key + QLatin1Char('=') + value + QLatin1Char('\n');
    return ini.toUtf8();
}

QString FormFiles::dictionaryJson(Dictionary dictionary, const QStringList& names)
{
    const QString idKey = dictionary == CheckItems ? QStringLiteral("checkitemid") : QStringLiteral("positiontypeid");
    const QString nameKey = dictionary == CheckItems ? QStringLiteral("checkitem") : QStringLiteral("positiontypename");
    QJsonArray entries;
    for (int i = 0; i < names.size(); ++i)
        entries.append(QJsonObject{{idKey, QString::number(i)}, {nameKey, names.at(i)}});
    return QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact));
}

QByteArray FormFiles::gbk(const QString& text)
{
    const QTextCodec* codec = QTextCodec::codecForName("GBK");
    return codec ? codec->fromUnicode(text) : QByteArray();
}

void FormFiles::clear()
{
    QDir(dir("/config")).removeRecursively();
    QDir(dir("/../config")).removeRecursively();
}
