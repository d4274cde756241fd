#include "scriptedcloud.h"

#include "benchworkspace.h"
#include "dictionarytext.h"
#include "testserver.h"
#include "tlstestserver.h"

namespace {

const std::string lookupPath = "/kelva/individual/findCheckNum4Unique";
const std::string recordPath = "/kelva/individual/getStudyInfo.do";
const std::string modifyPath = "/kelva/individual/modifyStudyInfo.do";
const std::string checkItemPath = "/kelva/patientmanagerform/getCheckitem.do";
const std::string positionPath = "/kelva/patientmanagerform/getPosition.do";

constexpr int dictionarySize = 6;

QString checkItemJson()
{
    return dictionaryJson(dictionaryNames(QStringLiteral("检查项目"), dictionarySize),
                          QStringLiteral("checkitemid"), QStringLiteral("checkitem"));
}

QString positionJson()
{
    return dictionaryJson(dictionaryNames(QStringLiteral("检查部位"), dictionarySize),
                          QStringLiteral("positiontypeid"), QStringLiteral("positiontypename"));
}

ScriptedReply json(const std::string& body)
{
    ScriptedReply reply;
    reply.body = body;
    return reply;
}

} // namespace

ScriptedCloud::ScriptedCloud(const IssuedCertificate* tls)
    : http(tls ? std::make_unique<TlsTestServer>(*tls) : std::make_unique<TestServer>())
{
    // A record with every field, its ids inside the dictionaries above.
    const std::string record =
        "{\"patientname\":\"\xe5\xbc\xa0\xe4\xb8\x89\",\"sex\":\"M\",\"age\":42,\"ageunit\":\"Y\","
        "\"studytime\":1600000000123,\"studypositionid\":1,\"checkitemid\":2,"
        "\"abstracthistory\":\"" + symptom().toStdString() + "\",\"relevantresult\":\"x-ray clear\","
        "\"prediagnose\":\"bronchitis\",\"checkserialnum\":\"" + serial().toStdString() + "\"}";
    http->setReply("GET", lookupPath, json("{\"rischeckserialnum\":\"" + serial().toStdString() + "\"}"));
    http->setReply("GET", recordPath, json(record));
    http->setReply("POST", modifyPath, json("{\"result\":\"ok\"}"));
    http->setReply("GET", checkItemPath, json(checkItemJson().toStdString()));
    http->setReply("GET", positionPath, json(positionJson().toStdString()));
}

ScriptedCloud::~ScriptedCloud() = default;

bool ScriptedCloud::install(const BenchWorkspace& workspace, const QString& caFile) const
{
    const std::string base = http->url().toStdString();
    const std::string ini = "[cloud]\n"
                            "positionDownLoadUrl=" + base + positionPath + "\n"
                            "checkItemDownLoadUrl=" + base + checkItemPath + "\n"
                            "uploadCurl=" + base + modifyPath + "\n"
                            "getcheckNumCurl=" + base + lookupPath + "?\n"
                            "getCloudPatientInfoCurl=" + base + recordPath + "?\n"
                            + (caFile.isEmpty() ? std::string() : "caFile=" + caFile.toStdString() + "\n");
    return workspace.writeCloudSettings(QByteArray::fromStdString(ini))
           && workspace.writeDictionaries(gbkBytes(checkItemJson()), gbkBytes(positionJson()));
}

QByteArray ScriptedCloud::sessionId()
{
    return QByteArrayLiteral("bench-session");
}

QString ScriptedCloud::studyUid()
{
    return QStringLiteral("1.2.826.0.1.3680043.9.7.1");
}

QString ScriptedCloud::serial()
{
    return QStringLiteral("RIS-1");
}

QString ScriptedCloud::symptom()
{
    return QStringLiteral("cough for three days");
}

std::string ScriptedCloud::lookupUrl() const
{
    return http->url(QString::fromStdString(lookupPath) + QStringLiteral("?studyinstanceuid=") + studyUid())
        .toStdString();
}

std::string ScriptedCloud::recordUrl() const
{
    return http->url(QString::fromStdString(recordPath) + QStringLiteral("?checkserialnum=") + serial())
        .toStdString();
}

QString ScriptedCloud::modifyUrl() const
{
    return http->url(QString::fromStdString(modifyPath));
}

QString ScriptedCloud::checkItemUrl() const
{
    return http->url(QString::fromStdString(checkItemPath));
}

QString ScriptedCloud::positionUrl() const
{
    return http->url(QString::fromStdString(positionPath));
}

size_t ScriptedCloud::modifyCount() const
{
    return http->requests(modifyPath).size();
}

QByteArray ScriptedCloud::lastPostedBody() const
{
    const std::vector<RecordedRequest> posts = http->requests(modifyPath);
    return posts.empty() ? QByteArray() : QByteArray::fromStdString(posts.back().body);
}
