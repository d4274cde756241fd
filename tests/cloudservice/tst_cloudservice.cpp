#include "cloudservice.h"
#include "dicomstudyinfo.h"
#include "samplestudies.h"
#include "servicelistener.h"
#include "serviceoptions.h"
#include "studystore.h"

#include <httplib.h>

#include <curl/curl.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <thread>

namespace {

struct Reply
{
    int status = -1;  // -1: no HTTP reply at all
    std::string body;
    std::string cookie;
    std::string contentType;

    QJsonObject object() const { return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object(); }
};

Reply replyOf(const httplib::Result& result)
{
    Reply r;
    if (result) {
        r.status = result->status;
        r.body = result->body;
        r.cookie = result->get_header_value("Set-Cookie");
        r.contentType = result->get_header_value("Content-Type");
    }
    return r;
}

std::string readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The service as the program runs it: its own data folder, a free loopback port.
class RunningService
{
public:
    explicit RunningService(const QString& dataDir) : service(dataDir), listener(service)
    {
        listening = service.isReady() && listener.listen(QStringLiteral("127.0.0.1"), 0);
    }

    httplib::Client client() const { return httplib::Client("127.0.0.1", listener.port()); }
    std::string url(const std::string& target) const
    {
        return "http://127.0.0.1:" + std::to_string(listener.port()) + target;
    }

    Reply get(const std::string& target, const std::string& session) const
    {
        return replyOf(client().Get(target.c_str(), cookie(session)));
    }
    Reply post(const std::string& path, const std::string& body, const std::string& session) const
    {
        return replyOf(client().Post(path.c_str(), cookie(session), body, "application/json"));
    }
    Reply upload(const std::string& content, const std::string& session, const std::string& part = "file") const
    {
        const httplib::MultipartFormDataItems items{{part, content, "image.dcm", "application/octet-stream"}};
        return replyOf(client().Post("/kelva/upload/uploadImage.do", cookie(session), items));
    }
    Reply lookup(const QString& studyUid, const std::string& session) const
    {
        return get("/kelva/individual/findCheckNum4Unique?studyinstanceuid=" + studyUid.toStdString(), session);
    }
    QJsonObject record(const QString& serial, const std::string& session) const
    {
        return get("/kelva/individual/getStudyInfo.do?checkserialnum=" + serial.toStdString(), session).object();
    }
    Reply modify(const QByteArray& body, const std::string& session) const
    {
        return post("/kelva/individual/modifyStudyInfo.do", body.toStdString(), session);
    }
    Reply login(const std::string& user, const std::string& password) const
    {
        return replyOf(client().Post("/kelva/login", httplib::Params{{"user", user}, {"password", password}}));
    }

    CloudService service;
    ServiceListener listener;
    bool listening = false;

private:
    static httplib::Headers cookie(const std::string& session)
    {
        return session.empty() ? httplib::Headers{} : httplib::Headers{{"Cookie", "JSESSIONID=" + session}};
    }
};

// The record body as the study form posts it: eleven strings, indented JSON.
QByteArray recordBody(const QString& serial, const QString& time = QStringLiteral("2024-05-06 07:08:09"))
{
    const QJsonObject body{{"patientname", QStringLiteral("王五")}, {"sex", "F"}, {"age", "33"},
                           {"ageunit", "Y"}, {"studytime", time}, {"studypositionid", "2"},
                           {"checkitemid", "1"}, {"abstracthistory", QStringLiteral("咳嗽三天")},
                           {"relevantresult", "<b>none</b>"}, {"prediagnose", "pneumonia?"},
                           {"checkserialnum", serial}};
    return QJsonDocument(body).toJson(QJsonDocument::Indented);
}

int filesBelow(const QString& folder)
{
    int count = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++count;
    return count;
}

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using CurlHeaders = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

size_t appendTo(char* data, size_t size, size_t count, void* reply)
{
    static_cast<std::string*>(reply)->append(data, size * count);
    return size * count;
}

// One request with libcurl, headers written the study form's way ("Cookie:JSESSIONID=x").
Reply curlRequest(const std::string& url, const std::string& session, const QByteArray* postBody)
{
    Reply reply;
    CurlHandle curl(curl_easy_init(), &curl_easy_cleanup);
    CurlHeaders headers(curl_slist_append(nullptr, ("Cookie:JSESSIONID=" + session).c_str()), &curl_slist_free_all);
    if (postBody)
        headers.reset(curl_slist_append(headers.release(), "Content-type:application/json"));
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &appendTo);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.body);
    if (postBody) {
        curl_easy_setopt(curl.get(), CURLOPT_POST, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, postBody->constData());
    }
    long status = -1;
    if (curl_easy_perform(curl.get()) == CURLE_OK)
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    reply.status = static_cast<int>(status);
    return reply;
}

} // namespace

class TestCloudService : public QObject
{
    Q_OBJECT

private:
    void startService() { cloud = std::make_unique<RunningService>(dataDir->path()); }
    // A fresh service on an empty data folder, and a session on it.
    bool startCloud()
    {
        dataDir = std::make_unique<QTemporaryDir>();
        startService();
        session = cloud->login("demo", "demo").object().value("jsessionid").toString().toStdString();
        return cloud->listening && !session.empty();
    }
    std::string sampleFile(int study, int index) const
    {
        return readFile(samples.filePath(studies[study].files().at(index)));
    }
    QString uploadedSerial(const Reply& reply) const { return reply.object().value("rischeckserialnum").toString(); }

    QTemporaryDir samples;
    QVector<SampleStudy> studies;
    std::unique_ptr<QTemporaryDir> dataDir;
    std::unique_ptr<RunningService> cloud;
    std::string session;

private slots:
    void initTestCase()
    {
        // Eight hours east of UTC, so that local time and UTC differ in every check.
        qputenv("TZ", "CST-8");
        tzset();
        quietDicomLogging();
        QString error;
        QVERIFY2(writeSampleStudies(samples.path(), defaultSampleStudies(), &studies, &error), qPrintable(error));
    }

    void cleanup()
    {
        cloud.reset();
        dataDir.reset();
    }

    void loginIssuesSessionCookie()
    {
        QVERIFY(startCloud());
        const Reply first = cloud->login("demo", "demo");
        QCOMPARE(first.status, 200);
        const QString id = first.object().value("jsessionid").toString();
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(id).hasMatch());
        QCOMPARE(QString::fromStdString(first.cookie), QStringLiteral("JSESSIONID=%1; Path=/").arg(id));
        QVERIFY(id.toStdString() != session);
        QCOMPARE(cloud->get("/kelva/patientmanagerform/getPosition.do", id.toStdString()).status, 200);
    }

    void loginRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << "demo" << "Demo";
        QTest::newRow("unknown user") << "admin" << "demo";
        QTest::newRow("nothing") << "" << "";
        QTest::newRow("replaced account") << "demo" << "demo";
    }

    void loginRefused()
    {
        QVERIFY(startCloud());
        QFETCH(QString, user);
        QFETCH(QString, password);
        if (QByteArray(QTest::currentDataTag()) == "replaced account")
            cloud->service.setAccounts({{QStringLiteral("ward"), QStringLiteral("secret")}});
        const Reply reply = cloud->login(user.toStdString(), password.toStdString());
        QCOMPARE(reply.status, 401);
        QVERIFY(reply.cookie.empty());
        QVERIFY(!reply.object().value("error").toString().isEmpty());
    }

    void endpointsNeedSession_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("cookie");
        const QStringList targets{"GET /kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.3",
                                  "GET /kelva/individual/getStudyInfo.do?checkserialnum=CN00000001",
                                  "GET /kelva/patientmanagerform/getCheckitem.do",
                                  "GET /kelva/patientmanagerform/getPosition.do",
                                  "POST /kelva/individual/modifyStudyInfo.do",
                                  "POST /kelva/upload/uploadImage.do"};
        for (const QString& t : targets) {
            const QString method = t.section(' ', 0, 0), target = t.section(' ', 1);
            QTest::addRow("%s no cookie", qPrintable(target)) << method << target << "";
            QTest::addRow("%s unknown session", qPrintable(target)) << method << target << "0123456789abcdef";
        }
    }

    void endpointsNeedSession()
    {
        QVERIFY(startCloud());
        QFETCH(QString, method);
        QFETCH(QString, target);
        QFETCH(QString, cookie);
        const std::string path = target.toStdString(), id = cookie.toStdString();
        const Reply reply = method == "GET" ? cloud->get(path, id)
            : path.find("upload") != std::string::npos ? cloud->upload(sampleFile(0, 0), id)
                                                        : cloud->post(path, recordBody("CN00000001").toStdString(), id);
        QCOMPARE(reply.status, 401);
        QVERIFY(!reply.object().value("error").toString().isEmpty());
        QCOMPARE(filesBelow(dataDir->filePath("studies")), 0);
    }

    void sessionCookie_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("id");
        QTest::newRow("alone") << "JSESSIONID=ab12" << "ab12";
        QTest::newRow("after another") << "theme=dark; JSESSIONID=ab12" << "ab12";
        QTest::newRow("before another") << "JSESSIONID=ab12;theme=dark" << "ab12";
        QTest::newRow("blanks around") << "  JSESSIONID=ab12  ; x=y" << "ab12";
        QTest::newRow("other name ending alike") << "XJSESSIONID=ab12" << "";
        QTest::newRow("lower case name") << "jsessionid=ab12" << "";
        QTest::newRow("empty value") << "JSESSIONID=" << "";
        QTest::newRow("empty header") << "" << "";
        QTest::newRow("only separators") << ";;; ;" << "";
    }

    void sessionCookie()
    {
        QFETCH(QString, header);
        QFETCH(QString, id);
        QCOMPARE(QString::fromStdString(sessionIdFromCookie(header.toStdString())), id);
    }

    void requestsShapedLikeTheStudyForm()
    {
        QVERIFY(startCloud());
        const Reply uploaded = cloud->upload(sampleFile(2, 0), session);
        const QString serial = uploadedSerial(uploaded);
        const std::string uid = studies[2].studyUid.toStdString();
        const Reply lookup = curlRequest(cloud->url("/kelva/individual/findCheckNum4Unique?studyinstanceuid=" + uid),
                                         session, nullptr);
        QCOMPARE(lookup.status, 200);
        QCOMPARE(QString::fromStdString(lookup.body), QStringLiteral("{\"rischeckserialnum\":\"%1\"}").arg(serial));
        const QByteArray body = recordBody(serial);
        const Reply modified = curlRequest(cloud->url("/kelva/individual/modifyStudyInfo.do"), session, &body);
        QCOMPARE(modified.status, 200);
        QCOMPARE(QString::fromStdString(modified.body), QStringLiteral("{\"result\":\"ok\"}"));
        const Reply wrongSession = curlRequest(cloud->url("/kelva/patientmanagerform/getCheckitem.do"), "x", nullptr);
        QCOMPARE(wrongSession.status, 401);
    }

    void unknownStudiesAnswerEmptyObject_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("lookup") << "/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.840.99";
        QTest::newRow("lookup without uid") << "/kelva/individual/findCheckNum4Unique?studyinstanceuid=";
        QTest::newRow("record") << "/kelva/individual/getStudyInfo.do?checkserialnum=CN99999999";
        QTest::newRow("record without serial") << "/kelva/individual/getStudyInfo.do?checkserialnum=";
    }

    void unknownStudiesAnswerEmptyObject()
    {
        QVERIFY(startCloud());
        QFETCH(QString, target);
        cloud->upload(sampleFile(0, 0), session);
        const Reply reply = cloud->get(target.toStdString(), session);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, std::string("{}"));
    }

    void uploadRegistersStudyOnce()
    {
        QVERIFY(startCloud());
        const Reply first = cloud->upload(sampleFile(0, 0), session);
        QCOMPARE(first.status, 200);
        QVERIFY2(QRegularExpression("^\\{\"rischeckserialnum\":\"CN\\d{8}\"\\}$")
                     .match(QString::fromStdString(first.body)).hasMatch(),
                 first.body.c_str());
        const Reply second = cloud->upload(sampleFile(0, 4), session);
        QCOMPARE(second.body, first.body);
        const Reply again = cloud->upload(sampleFile(0, 0), session);
        QCOMPARE(again.body, first.body);
        QCOMPARE(cloud->lookup(studies[0].studyUid, session).body, first.body);

        const QStringList stored = cloud->service.store().imagePaths(studies[0].studyUid);
        QCOMPARE(stored.size(), 2);
        QCOMPARE(filesBelow(dataDir->filePath("studies")), 2);
        const std::set<std::string> sent{sampleFile(0, 0), sampleFile(0, 4)};
        for (const QString& path : stored)
            QVERIFY(sent.count(readFile(dataDir->filePath(path))) == 1);
        QCOMPARE(filesBelow(dataDir->filePath("incoming")), 0);

        const Reply other = cloud->upload(sampleFile(1, 0), session);
        QVERIFY(!uploadedSerial(other).isEmpty());
        QVERIFY(uploadedSerial(other) != uploadedSerial(first));
    }

    void uploadSeedsRecord_data()
    {
        QTest::addColumn<int>("study");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sex");
        QTest::addColumn<int>("age");
        QTest::addColumn<QString>("ageUnit");
        QTest::newRow("Chinese name, years") << 0 << QStringLiteral("张三") << "M" << 45 << "Y";
        QTest::newRow("Chinese name, female") << 1 << QStringLiteral("李四") << "F" << 32 << "Y";
        QTest::newRow("Latin name") << 2 << "Smith^John" << "M" << 67 << "Y";
        QTest::newRow("age in months") << 3 << QStringLiteral("王芳") << "F" << 10 << "M";
    }

    void uploadSeedsRecord()
    {
        QVERIFY(startCloud());
        QFETCH(int, study);
        QFETCH(QString, name);
        QFETCH(QString, sex);
        QFETCH(int, age);
        QFETCH(QString, ageUnit);
        const QString serial = uploadedSerial(cloud->upload(sampleFile(study, 0), session));
        const std::string target = "/kelva/individual/getStudyInfo.do?checkserialnum=" + serial.toStdString();
        const Reply reply = cloud->get(target, session);
        QCOMPARE(reply.status, 200);
        QVERIFY(QString::fromStdString(reply.contentType).contains("utf-8"));
        const QJsonObject record = reply.object();
        QCOMPARE(record.value("checkserialnum").toString(), serial);
        QCOMPARE(record.value("patientname").toString(), name);
        QCOMPARE(record.value("sex").toString(), sex);
        QCOMPARE(record.value("age"), QJsonValue(age));
        QCOMPARE(record.value("ageunit").toString(), ageUnit);
        QCOMPARE(record.value("checkitemid"), QJsonValue(0));
        QCOMPARE(record.value("studypositionid"), QJsonValue(0));
        QCOMPARE(record.value("studytime"), QJsonValue(double(studies[study].plan.studyTime.toMSecsSinceEpoch())));
        for (const char* key : {"abstracthistory", "relevantresult", "prediagnose"})
            QCOMPARE(record.value(key), QJsonValue(QString()));
    }

    void badUploadRegistersNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("part");
        const std::string dicom = sampleFile(0, 0);
        QTest::newRow("text file") << QByteArray("this is not an image\n") << "file";
        QTest::newRow("empty file") << QByteArray() << "file";
        QTest::newRow("cut after meta header") << QByteArray::fromStdString(dicom.substr(0, 340)) << "file";
        QTest::newRow("image in another part") << QByteArray::fromStdString(dicom) << "image";

        DcmFileFormat file;
        const QString stripped = samples.filePath("no-study-uid.dcm");
        QVERIFY(file.loadFile(QFile::encodeName(samples.filePath(studies[0].files().at(0))).constData()).good());
        QVERIFY(file.getDataset()->findAndDeleteElement(DCM_StudyInstanceUID).good());
        QVERIFY(file.saveFile(QFile::encodeName(stripped).constData(), EXS_LittleEndianExplicit).good());
        QTest::newRow("DICOM without StudyInstanceUID") << QByteArray::fromStdString(readFile(stripped)) << "file";
    }

    void badUploadRegistersNothing()
    {
        QVERIFY(startCloud());
        QFETCH(QByteArray, content);
        QFETCH(QString, part);
        const Reply reply = cloud->upload(content.toStdString(), session, part.toStdString());
        QCOMPARE(reply.status, 400);
        QVERIFY(!reply.object().value("error").toString().isEmpty());
        QCOMPARE(filesBelow(dataDir->filePath("studies")), 0);
        QCOMPARE(filesBelow(dataDir->filePath("incoming")), 0);
        QCOMPARE(cloud->lookup(studies[0].studyUid, session).body,
                 std::string("{}"));
        QVERIFY(!cloud->service.store().studyBySerial("CN00000001"));
    }

    void modifyShowsInNextRecord()
    {
        QVERIFY(startCloud());
        const QString serial = uploadedSerial(cloud->upload(sampleFile(0, 0), session));
        const Reply modified = cloud->modify(recordBody(serial), session);
        QCOMPARE(modified.status, 200);
        QCOMPARE(modified.body, std::string(R"({"result":"ok"})"));

        const QJsonObject record =
            cloud->record(serial, session);
        QCOMPARE(record.value("patientname").toString(), QStringLiteral("王五"));
        QCOMPARE(record.value("sex").toString(), QStringLiteral("F"));
        QCOMPARE(record.value("age"), QJsonValue(33));
        QCOMPARE(record.value("checkitemid"), QJsonValue(1));
        QCOMPARE(record.value("studypositionid"), QJsonValue(2));
        QCOMPARE(record.value("abstracthistory").toString(), QStringLiteral("咳嗽三天"));
        QCOMPARE(record.value("relevantresult").toString(), QStringLiteral("<b>none</b>"));
        QCOMPARE(record.value("prediagnose").toString(), QStringLiteral("pneumonia?"));
        QCOMPARE(record.value("checkserialnum").toString(), serial);
        // 07:08:09 at UTC+8 is 23:08:09 UTC of the day before.
        const qint64 expected = QDateTime(QDate(2024, 5, 5), QTime(23, 8, 9), Qt::UTC).toMSecsSinceEpoch();
        QCOMPARE(record.value("studytime"), QJsonValue(double(expected)));
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(qint64(record.value("studytime").toDouble()))
                     .toString("yyyy-MM-dd HH:mm:ss"),
                 QStringLiteral("2024-05-06 07:08:09"));
    }

    void badModifyIsRefused_data()
    {
        QTest::addColumn<QByteArray>("body");
        const QByteArray good = recordBody("CN00000001");
        const auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject o = QJsonDocument::fromJson(good).object();
            if (value.isUndefined())
                o.remove(key);
            else
                o.insert(key, value);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("not JSON") << QByteArray("patientname=x");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("member missing") << with("sex", QJsonValue::Undefined);
        QTest::newRow("age as number") << with("age", 33);
        QTest::newRow("age not a number") << with("age", "abc");
        QTest::newRow("id with fraction") << with("checkitemid", "1.5");
        QTest::newRow("time without seconds") << with("studytime", "2024-05-06 07:08");
        QTest::newRow("time not a date") << with("studytime", "2024-13-40 07:08:09");
        QTest::newRow("unknown serial") << with("checkserialnum", "CN00000002");
    }

    void badModifyIsRefused()
    {
        QVERIFY(startCloud());
        QFETCH(QByteArray, body);
        const QString serial = uploadedSerial(cloud->upload(sampleFile(0, 0), session));
        QCOMPARE(serial, QStringLiteral("CN00000001"));
        const Reply reply = cloud->modify(body, session);
        QCOMPARE(reply.status, 400);
        QVERIFY(!reply.object().value("error").toString().isEmpty());
        QCOMPARE(cloud->service.store().studyBySerial(serial)->patientName, QStringLiteral("张三"));
    }

    void dictionaries_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("idKey");
        QTest::addColumn<QString>("nameKey");
        QTest::addColumn<QString>("someName");
        QTest::newRow("examination items") << "/kelva/patientmanagerform/getCheckitem.do" << "checkitemid"
                                           << "checkitem" << QStringLiteral("CT平扫");
        QTest::newRow("body positions") << "/kelva/patientmanagerform/getPosition.do" << "positiontypeid"
                                        << "positiontypename" << QStringLiteral("胸部");
    }

    void dictionaries()
    {
        QVERIFY(startCloud());
        QFETCH(QString, target);
        QFETCH(QString, idKey);
        QFETCH(QString, nameKey);
        QFETCH(QString, someName);
        const Reply reply = cloud->get(target.toStdString(), session);
        QCOMPARE(reply.status, 200);
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body));
        QVERIFY(document.isArray());
        const QJsonArray entries = document.array();
        QVERIFY(entries.size() >= 3);
        QStringList names;
        for (int i = 0; i < entries.size(); ++i) {
            const QJsonObject entry = entries[i].toObject();
            QCOMPARE(entry.size(), 2);
            QCOMPARE(entry.value(idKey), QJsonValue(QString::number(i)));
            QVERIFY(!entry.value(nameKey).toString().isEmpty());
            names.append(entry.value(nameKey).toString());
        }
        QVERIFY(names.contains(someName));
        QCOMPARE(names.removeDuplicates(), 0);
    }

    void restartKeepsRecordsAndSessions()
    {
        QVERIFY(startCloud());
        const QString serial = uploadedSerial(cloud->upload(sampleFile(0, 0), session));
        QCOMPARE(cloud->modify(recordBody(serial), session).status, 200);
        cloud.reset();
        startService();
        QVERIFY(cloud->listening);
        const Reply lookup = cloud->lookup(studies[0].studyUid, session);
        QCOMPARE(lookup.status, 200);
        QCOMPARE(uploadedSerial(lookup), serial);
        const QJsonObject record =
            cloud->record(serial, session);
        QCOMPARE(record.value("patientname").toString(), QStringLiteral("王五"));
        QCOMPARE(cloud->service.store().imagePaths(studies[0].studyUid).size(), 1);
        const QString next = uploadedSerial(cloud->upload(sampleFile(1, 0), session));
        QVERIFY(!next.isEmpty());
        QVERIFY(next != serial);
    }

    void seededStudyIsKnown()
    {
        QVERIFY(startCloud());
        CloudStudy seed;
        seed.studyUid = QStringLiteral("1.2.826.0.1.3680043.2.1125.1");
        seed.patientName = QStringLiteral("赵六");
        seed.age = 8;
        bool created = false;
        const QString serial = cloud->service.seedStudy(seed, &created);
        QVERIFY(created);
        seed.patientName = QStringLiteral("other");
        QCOMPARE(cloud->service.seedStudy(seed, &created), serial);
        QVERIFY(!created);
        QCOMPARE(uploadedSerial(cloud->lookup(seed.studyUid, session)),
                 serial);
        const QJsonObject record =
            cloud->record(serial, session);
        QCOMPARE(record.value("patientname").toString(), QStringLiteral("赵六"));
        QCOMPARE(record.value("age"), QJsonValue(8));
    }

    void concurrentUploads()
    {
        QVERIFY(startCloud());
        // Every thread sends every image of every study, each in its own order,
        // so that first registrations of one study race each other.
        const int threads = 4;
        std::vector<std::string> images;
        std::vector<int> studyOf;
        for (int s = 0; s < studies.size(); ++s) {
            for (int i = 0; i < studies[s].files().size(); ++i) {
                images.push_back(sampleFile(s, i));
                studyOf.push_back(s);
            }
        }
        std::vector<std::vector<Reply>> replies(threads, std::vector<Reply>(images.size()));
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            std::vector<size_t> order(images.size());
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), std::mt19937(t));
            workers.emplace_back([&, t, order] {
                for (size_t i : order)
                    replies[t][i] = cloud->upload(images[i], session);
            });
        }
        for (std::thread& w : workers)
            w.join();

        std::map<int, QString> serialOf;
        for (int t = 0; t < threads; ++t) {
            for (size_t i = 0; i < images.size(); ++i) {
                QCOMPARE(replies[t][i].status, 200);
                const QString serial = uploadedSerial(replies[t][i]);
                QVERIFY(!serial.isEmpty());
                const auto known = serialOf.emplace(studyOf[i], serial).first;
                QCOMPARE(serial, known->second);
            }
        }
        std::set<QString> distinct;
        for (const auto& entry : serialOf)
            distinct.insert(entry.second);
        QCOMPARE(int(distinct.size()), studies.size());
        for (int s = 0; s < studies.size(); ++s)
            QCOMPARE(cloud->service.store().imagePaths(studies[s].studyUid).size(), studies[s].files().size());
        QCOMPARE(filesBelow(dataDir->filePath("studies")), int(images.size()));
    }

    void dicomAge_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("age");
        QTest::addColumn<QString>("unit");
        QTest::newRow("years") << "045Y" << true << 45 << "Y";
        QTest::newRow("months") << "010M" << true << 10 << "M";
        QTest::newRow("weeks become days") << "003W" << true << 21 << "D";
        QTest::newRow("days") << "000D" << true << 0 << "D";
        QTest::newRow("no unit") << "045" << false << 0 << "";
        QTest::newRow("lower case unit") << "045y" << false << 0 << "";
        QTest::newRow("two digits") << "45Y" << false << 0 << "";
        QTest::newRow("sign") << "-45Y" << false << 0 << "";
        QTest::newRow("empty") << "" << false << 0 << "";
    }

    void dicomAge()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, age);
        QFETCH(QString, unit);
        int readAge = -1;
        QString readUnit = QStringLiteral("untouched");
        QCOMPARE(parseDicomAge(text, &readAge, &readUnit), valid);
        if (valid) {
            QCOMPARE(readAge, age);
            QCOMPARE(readUnit, unit);
        } else {
            QCOMPARE(readUnit, QStringLiteral("untouched"));
        }
    }

    void dicomDateTime_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("utc");  // empty: refused
        QTest::newRow("full") << "20240115" << "093000" << "2024-01-15T01:30:00";
        QTest::newRow("fraction dropped") << "20240115" << "093000.987" << "2024-01-15T01:30:00";
        QTest::newRow("hours and minutes") << "20240115" << "0930" << "2024-01-15T01:30:00";
        QTest::newRow("old colon form") << "20240115" << "09:30:15" << "2024-01-15T01:30:15";
        QTest::newRow("no time is midnight") << "20240115" << "" << "2024-01-14T16:00:00";
        QTest::newRow("odd digits") << "20240115" << "093" << "";
        QTest::newRow("hour 25") << "20240115" << "250000" << "";
        QTest::newRow("no date") << "" << "093000" << "";
        QTest::newRow("day 32") << "20240132" << "093000" << "";
        QTest::newRow("dashes") << "2024-01-15" << "093000" << "";
    }

    void dicomDateTime()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, utc);
        qint64 msecs = 0;
        QCOMPARE(parseDicomDateTime(date, time, &msecs), !utc.isEmpty());
        if (!utc.isEmpty())
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODate), utc + "Z");
    }

    void listenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");  // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("IPv4") << "127.0.0.2:8082" << "127.0.0.2" << 8082;
        QTest::newRow("any port") << "127.0.0.1:0" << "127.0.0.1" << 0;
        QTest::newRow("IPv6") << "[::1]:9000" << "::1" << 9000;
        QTest::newRow("IPv6 without brackets") << "::1:9000" << "" << 0;
        QTest::newRow("no port") << "127.0.0.1" << "" << 0;
        QTest::newRow("empty port") << "127.0.0.1:" << "" << 0;
        QTest::newRow("port too big") << "127.0.0.1:65536" << "" << 0;
        QTest::newRow("signed port") << "127.0.0.1:+80" << "" << 0;
        QTest::newRow("no host") << ":8082" << "" << 0;
    }

    void listenAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        ListenAddress address;
        QCOMPARE(parseListenAddress(text, &address), !host.isEmpty());
        if (!host.isEmpty()) {
            QCOMPARE(address.host, host);
            QCOMPARE(address.port, port);
        }
    }

    void accountsFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("password");  // of "ward"; empty: refused
        QTest::newRow("JSON") << "a.json" << QByteArray(R"({"ward":"s3cret","demo":"x"})") << "s3cret";
        QTest::newRow("INI") << "a.ini" << QByteArray("[accounts]\nward=s3cret\n") << "s3cret";
        QTest::newRow("JSON array") << "a.json" << QByteArray(R"(["ward"])") << "";
        QTest::newRow("JSON number password") << "a.json" << QByteArray(R"({"ward":5})") << "";
        QTest::newRow("JSON empty") << "a.json" << QByteArray("{}") << "";
        QTest::newRow("INI other section") << "a.ini" << QByteArray("[users]\nward=s3cret\n") << "";
        QTest::newRow("missing file") << "" << QByteArray() << "";
    }

    void accountsFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, password);
        const QTemporaryDir dir;
        QString path = dir.filePath("absent.json");
        if (!name.isEmpty()) {
            path = dir.filePath(name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
        std::map<QString, QString> accounts;
        QString error;
        QCOMPARE(loadAccounts(path, &accounts, &error), !password.isEmpty());
        if (password.isEmpty())
            QVERIFY(!error.isEmpty());
        else
            QCOMPARE(accounts[QStringLiteral("ward")], password);
    }

    void sampleFilesAreValidDicom()
    {
        const QByteArray manifest = QByteArray::fromStdString(readFile(samples.filePath("manifest.json")));
        const QJsonArray listed = QJsonDocument::fromJson(manifest).object().value("studies").toArray();
        QCOMPARE(listed.size(), studies.size());
        QStringList files;
        for (int s = 0; s < studies.size(); ++s) {
            const QJsonObject entry = listed[s].toObject();
            QCOMPARE(entry.value("studyinstanceuid").toString(), studies[s].studyUid);
            const SampleStudyPlan& plan = studies[s].plan;
            QCOMPARE(entry.value("files").toArray().size(), plan.seriesCount * plan.imagesPerSeries);
            for (const QJsonValue& file : entry.value("files").toArray()) {
                files.append(samples.filePath(file.toString()));
                DicomStudyInfo info;
                QString error;
                QVERIFY2(readDicomStudyInfo(files.last(), &info, &error), qPrintable(error));
                QCOMPARE(info.studyUid, studies[s].studyUid);
                QCOMPARE(info.patientName, entry.value("patientname").toString());
            }
        }
        const QString dcmdump = QStandardPaths::findExecutable("dcmdump");
        if (!dcmdump.isEmpty()) {
            QProcess dump;
            dump.setStandardOutputFile(QProcess::nullDevice());
            dump.start(dcmdump, QStringList{"-q"} + files);
            QVERIFY(dump.waitForFinished(20000));
            QCOMPARE(dump.exitStatus(), QProcess::NormalExit);
            QCOMPARE(dump.exitCode(), 0);
        }
        const std::vector<uint16_t> pixels = samplePixels(64, 64, 3);
        QCOMPARE(pixels.size(), size_t(64 * 64));
        QVERIFY(*std::max_element(pixels.begin(), pixels.end()) < 4096);
        QVERIFY(pixels != samplePixels(64, 64, 4));
    }
};

QTEST_GUILESS_MAIN(TestCloudService)
#include "tst_cloudservice.moc"
