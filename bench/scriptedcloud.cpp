#include "scriptedcloud.h"

#include "dictionarytext.h"
#include "formfixture.h"
#include "tlstestserver.h"

using namespace formcloud;

namespace {

constexpr int dictionarySize = 6;

QString checkItemJson()
{
    return FormFiles::dictionaryJson(FormFiles::CheckItems, dictionaryNames(QStringLiteral("检查项目"), dictionarySize));
}

QString positionJson()
{
    return FormFiles::dictionaryJson(FormFiles::Positions, dictionaryNames(QStringLiteral("检查部位"), dictionarySize));
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
    http->setReply("GET", lookupPath, scripted("{\"rischeckserialnum\":\"" + serial().toStdString() + "\"}"));
    http->setReply("GET", recordPath, scripted(record));
    http->setReply("POST", modifyPath, scripted("{\"result\":\"ok\"}"));
    http->setReply("GET", checkItemPath, scripted(checkItemJson().toStdString()));
    http->setReply("GET", positionPath, scripted(positionJson().toStdString()));
}

ScriptedCloud::~ScriptedCloud() = default;

bool ScriptedCloud::install(const QString& caFile, const QString& reachedAs) const
{
    FormFiles::Settings extra;
    if (!caFile.isEmpty())
        extra.append({QStringLiteral("caFile"), caFile});
    // No request bound, as a host without one runs.
    return FormFiles::writeEndpoints(reachedAs.isEmpty() ? http->url() : reachedAs, uploadPath.c_str(), 0, extra)
           && FormFiles::writeDictionaries(FormFiles::gbk(checkItemJson()), FormFiles::gbk(positionJson()));
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
