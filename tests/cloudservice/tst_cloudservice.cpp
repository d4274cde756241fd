#include "cloudrequest.h"
#include "cloudservice.h"
#include "dicomstudyinfo.h"
#include "dicomtext.h"
#include "samplestudies.h"
#include "servicelistener.h"

#include <httplib.h>

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <ctime>
#include <mutex>
#include <numeric>
#include <random>
#include <set>
#include <thread>

namespace {

QJsonObject json(const std::string& body)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int filesBelow(const QString& folder)
{
    int count = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++count;
    return count;
}

// The record as the study form posts it: eleven strings, indented JSON.
QByteArray recordBody(const QString& serial, const char* key = "", const QJsonValue& value = QJsonValue::Undefined)
{
    QJsonObject body{{"patientname", "王五"}, {"sex", "F"}, {"age", "33"}, {"ageunit", "Y"},
                     {"studytime", "2024-05-06 07:08:09"}, {"studypositionid", "2"}, {"checkitemid", "1"},
                     {"abstracthistory", "咳嗽三天"}, {"relevantresult", ""}, {"prediagnose", "?"},
                     {"checkserialnum", serial}};
    if (*key)
        value.isUndefined() ? body.remove(key) : void(body.insert(key, value));
    return QJsonDocument(body).toJson(QJsonDocument::Indented);
}

} // namespace

class TestCloudService : public QObject
{
    Q_OBJECT

    QTemporaryDir samples;
    QVector<SampleStudy> studies;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<CloudService> service;
    std::unique_ptr<ServiceListener> listener;  // stops before its service goes
    std::string session;

    // The service as the program runs it, on its data folder and a free loopback port.
    void start()
    {
        listener.reset();
        service = std::make_unique<CloudService>(data->path());
        listener = std::make_unique<ServiceListener>(*service);
        QVERIFY(service->isReady() && listener->listen(QStringLiteral("127.0.0.1"), 0));
    }
    // One request the way the study form and the upload library send it: "Cookie:JSESSIONID=<id>".
    CloudReply request(const QString& target, const char* postBody = nullptr, const std::string& id = "")
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1").arg(listener->port()) + target;
        return performCloudRequest({url.toStdString(), id.empty() ? session : id, postBody, {}, 0});
    }
    httplib::Client client() const { return httplib::Client("127.0.0.1", listener->port()); }
    httplib::Headers cookie(const std::string& id) const { return {{"Cookie", "JSESSIONID=" + (id.empty() ? session : id)}}; }
    httplib::Result modify(const QByteArray& body, const std::string& id = "")
    {
        return client().Post("/kelva/individual/modifyStudyInfo.do", cookie(id), body.toStdString(), "application/json");
    }
    httplib::Result upload(const QByteArray& content, const std::string& part = "file", const std::string& id = "")
    {
        return client().Post("/kelva/upload/uploadImage.do", cookie(id),
                             {{part, content.toStdString(), "image.dcm", "application/dicom"}});
    }
    httplib::Result login(const std::string& user, const std::string& password)
    {
        return client().Post("/kelva/login", httplib::Params{{"user", user}, {"password", password}});
    }
    std::string lookup(const QString& uid)
    {
        return request("/kelva/individual/findCheckNum4Unique?studyinstanceuid=" + uid).body;
    }
    QByteArray sampleFile(int study, int index)
    {
        return readFile(samples.filePath(studies[study].files().value(index)));
    }
    // A record's name, sex, age, unit, item and position ids, history and study time in UTC.
    QString recordOf(const QString& serial)
    {
        const QJsonObject r = json(request("/kelva/individual/getStudyInfo.do?checkserialnum=" + serial).body);
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(qint64(r["studytime"].toDouble()), Qt::UTC);
        return QStringList{r["patientname"].toString(), r["sex"].toString(), QString::number(r["age"].toInt()),
                           r["ageunit"].toString(), QString::number(r["checkitemid"].toInt()),
                           QString::number(r["studypositionid"].toInt()), r["abstracthistory"].toString(),
                           time.toString(Qt::ISODate), r["checkserialnum"].toString()}.join('|');
    }
    static QString serialOf(const httplib::Result& reply)
    {
        return reply ? json(reply->body)["rischeckserialnum"].toString() : QString();
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "CST-8");  // eight hours east of UTC: local time and UTC differ in every check
        tzset();
        quietDicomLogging();
        QString error;
        QVERIFY2(writeSampleStudies(samples.path(), defaultSampleStudies(), &studies, &error), qPrintable(error));
    }

    void init()
    {
        data = std::make_unique<QTemporaryDir>();
        start();
        session = json(login("demo", "demo")->body)["jsessionid"].toString().toStdString();
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(QString::fromStdString(session)).hasMatch());
    }

    void sessions()
    {
        const auto second = login("demo", "demo");
        const std::string id = json(second->body)["jsessionid"].toString().toStdString();
        QVERIFY(id != session);
        QCOMPARE(second->get_header_value("Set-Cookie"), "JSESSIONID=" + id + "; Path=/");
        service->setAccounts({{"ward", "secret"}});
        QCOMPARE(login("demo", "demo")->status, 401);
        QVERIFY(!login("demo", "demo")->has_header("Set-Cookie"));
        QCOMPARE(login("ward", "secret")->status, 200);

        // Every endpoint but login wants a live session; nothing is stored without one.
        for (const std::string& unknown : {std::string("-"), std::string("0123456789abcdef")}) {
            for (const char* target : {"/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.3",
                                       "/kelva/individual/getStudyInfo.do?checkserialnum=CN00000001",
                                       "/kelva/patientmanagerform/getCheckitem.do",
                                       "/kelva/patientmanagerform/getPosition.do"})
                QVERIFY(!json(request(target, nullptr, unknown).body)["error"].toString().isEmpty());
            QCOMPARE(modify(recordBody("CN00000001"), unknown)->status, 401);
            QCOMPARE(upload(sampleFile(0, 0), "file", unknown)->status, 401);
        }
        QCOMPARE(filesBelow(data->filePath("studies")), 0);
        // The session is the JSESSIONID cookie among others, not a cookie whose name ends alike.
        const char* dictionary = "/kelva/patientmanagerform/getPosition.do";
        QCOMPARE(client().Get(dictionary, {{"Cookie", "theme=dark;  JSESSIONID=" + session + " ; x=y"}})->status, 200);
        QCOMPARE(client().Get(dictionary, {{"Cookie", "XJSESSIONID=" + session}})->status, 401);
    }

    void uploadRegistersStudy_data()
    {
        QTest::addColumn<int>("study");
        QTest::addColumn<QString>("fields");
        QTest::newRow("Chinese name, years") << 0 << "张三|M|45|Y|0|0||2024-01-15T01:30:00Z|";
        QTest::newRow("age in months") << 3 << "王芳|F|10|M|0|0||2024-03-08T00:00:00Z|";
    }

    void uploadRegistersStudy()
    {
        QFETCH(int, study);
        QFETCH(QString, fields);
        const QString uid = studies[study].studyUid;
        QCOMPARE(lookup(uid), std::string("{}"));
        for (const auto& [part, content] : {std::make_pair("file", QByteArray("not an image")),
                                            std::make_pair("image", sampleFile(study, 0))}) {
            const auto refused = upload(content, part);
            QCOMPARE(refused->status, 400);
            QCOMPARE(json(refused->body).keys(), QStringList{"error"});
        }
        QCOMPARE(filesBelow(data->filePath("studies")) + filesBelow(data->filePath("incoming")), 0);
        const std::string reply = upload(sampleFile(study, 0))->body;
        QVERIFY2(QRegularExpression(R"(^\{"rischeckserialnum":"CN\d{8}"\}$)").match(reply.c_str()).hasMatch(),
                 reply.c_str());
        QCOMPARE(upload(sampleFile(study, studies[study].files().size() - 1))->body, reply);
        QCOMPARE(upload(sampleFile(study, 0))->body, reply);  // the same image again replaces itself
        QCOMPARE(lookup(uid), reply);
        QCOMPARE(request("/kelva/individual/getStudyInfo.do?checkserialnum=CN99999999").body, std::string("{}"));
        const QString serial = serialOf(upload(sampleFile(study, 0)));
        QCOMPARE(recordOf(serial), fields + serial);
        QCOMPARE(filesBelow(data->filePath("studies")), 2);
        QCOMPARE(filesBelow(data->filePath("incoming")), 0);
    }

    void modifyOutlivesRestart()
    {
        const QString serial = serialOf(upload(sampleFile(0, 0)));
        QVERIFY(request("/kelva/individual/modifyStudyInfo.do", recordBody(serial).constData()).completed);
        start();  // records, sessions and serial numbers outlive the service
        // 07:08:09 at UTC+8 is 23:08:09 UTC of the day before.
        QCOMPARE(recordOf(serial), "王五|F|33|Y|1|2|咳嗽三天|2024-05-05T23:08:09Z|" + serial);
        const QString next = serialOf(upload(sampleFile(1, 0)));
        QVERIFY(!next.isEmpty() && next != serial);
    }

    void badModifyIsRefused_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not JSON") << QByteArray("patientname=x");
        QTest::newRow("member missing") << recordBody("CN00000001", "sex");
        QTest::newRow("age as number") << recordBody("CN00000001", "age", 33);
        QTest::newRow("time without seconds") << recordBody("CN00000001", "studytime", "2024-05-06 07:08");
        QTest::newRow("unknown serial") << recordBody("CN00000002");
    }

    void badModifyIsRefused()
    {
        QFETCH(QByteArray, body);
        QCOMPARE(serialOf(upload(sampleFile(0, 0))), QStringLiteral("CN00000001"));
        const auto reply = modify(body);
        QCOMPARE(reply->status, 400);
        QCOMPARE(json(reply->body).keys(), QStringList{"error"});
        QVERIFY(recordOf("CN00000001").startsWith("张三|M|45|Y|0|0||"));
    }

    void dictionaries()
    {
        for (const auto& [target, idKey, nameKey] : {std::array<QString, 3>{"/kelva/patientmanagerform/getCheckitem.do",
                                                                            "checkitemid", "checkitem"},
                                                     {"/kelva/patientmanagerform/getPosition.do", "positiontypeid",
                                                      "positiontypename"}}) {
            const QJsonArray entries = QJsonDocument::fromJson(QByteArray::fromStdString(request(target).body)).array();
            QVERIFY(entries.size() >= 3);
            QStringList names;
            for (int i = 0; i < entries.size(); ++i) {
                // The form selects a record's entry by position: each id is its position, as text.
                QCOMPARE(entries[i][idKey], QJsonValue(QString::number(i)));
                names << entries[i][nameKey].toString();
            }
            QVERIFY(!names.contains("") && names.removeDuplicates() == 0);
        }
    }

    void concurrentUploads()
    {
        // Four threads send every image, each in its own order, so that first registrations race.
        std::vector<std::pair<QString, QByteArray>> images;  // study UID, file
        for (const SampleStudy& study : studies) {
            for (const QString& file : study.files())
                images.emplace_back(study.studyUid, readFile(samples.filePath(file)));
        }
        std::mutex mutex;
        std::map<QString, std::set<QString>> serials;  // by study UID
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < 4; ++t) {
            workers.emplace_back([&, t] {
                std::vector<size_t> order(images.size());
                std::iota(order.begin(), order.end(), 0);
                std::shuffle(order.begin(), order.end(), std::mt19937(t));
                for (size_t i : order) {
                    const QString serial = serialOf(upload(images[i].second));
                    const std::lock_guard<std::mutex> lock(mutex);
                    serials[images[i].first].insert(serial);
                }
            });
        }
        for (std::thread& worker : workers)
            worker.join();
        QSet<QString> distinct;  // one serial number per study, none shared
        for (const auto& study : serials)
            distinct.insert(study.second.size() == 1 ? *study.second.begin() : QString());
        QVERIFY(distinct.size() == studies.size() && !distinct.contains(QString()));
        QCOMPARE(filesBelow(data->filePath("studies")), int(images.size()));
    }
};

QTEST_GUILESS_MAIN(TestCloudService)
#include "tst_cloudservice.moc"
