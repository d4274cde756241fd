// The workstation host's own parts: its options, its talk with the cloud, the
// local study database and the DICOM import, the message-box answerer of the
// walk-through, the record comparison, and the forms it owns.

#include "boxanswerer.h"
#include "cloudaccount.h"
#include "cloudpatienthost.h"
#include "configfolder.h"
#include "dicomfile.h"
#include "httpclient.h"
#include "localdatabase.h"
#include "recordcheck.h"
#include "samplestudies.h"
#include "studyhost.h"
#include "studyimport.h"
#include "studylistwindow.h"
#include "testserver.h"
#include "workstationoptions.h"
#include "zoxmessageboxform.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPointer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <chrono>
#include <thread>

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// One DICOM file with the given character set and raw PatientName bytes.
bool writeImage(const QString& path, const QByteArray& characterSet, const QByteArray& patientName,
                const QByteArray& patientId = "P1", bool withSopInstanceUid = true)
{
    char uid[100];
    const std::string studyUid = dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT);
    const std::string seriesUid = dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT);
    const std::string sopUid = dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
    DcmFileFormat file;
    DcmDataset* d = file.getDataset();
    bool ok = d->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage).good()
        && d->putAndInsertString(DCM_StudyInstanceUID, studyUid.c_str()).good()
        && d->putAndInsertString(DCM_SeriesInstanceUID, seriesUid.c_str()).good()
        && d->putAndInsertString(DCM_PatientName, patientName.constData()).good()
        && d->putAndInsertString(DCM_PatientID, patientId.constData()).good()
        && d->putAndInsertString(DCM_Modality, "OT").good();
    if (!characterSet.isEmpty())
        ok = ok && d->putAndInsertString(DCM_SpecificCharacterSet, characterSet.constData()).good();
    if (withSopInstanceUid)
        ok = ok && d->putAndInsertString(DCM_SOPInstanceUID, sopUid.c_str()).good();
    return ok && file.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit).good();
}

// Every row of a statement on the default connection.
QList<QStringList> select(const QString& sql)
{
    QList<QStringList> rows;
    QSqlQuery query;
    if (!query.exec(sql))
        return rows;
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < query.record().count(); ++i)
            cells.append(query.value(i).toString());
        rows.append(cells);
    }
    return rows;
}

// Sample studies written to a temporary folder and imported into a fresh
// database (the default connection while it lives).
struct ImportedSamples
{
    explicit ImportedSamples(int count)
    {
        QString error;
        ready = writeSampleStudies(dir.filePath(QStringLiteral("in")), defaultSampleStudies().mid(0, count), &written,
                                   &error)
            && db.open(dir.filePath(QStringLiteral("local.sqlite")));
        if (ready)
            summary = importFolder(folder(), db);
        ready = ready && summary.error.isEmpty();
    }
    QString folder() const { return dir.filePath(QStringLiteral("in")); }

    QTemporaryDir dir;
    QVector<SampleStudy> written;
    LocalDatabase db;
    ImportSummary summary;
    bool ready = false;
};

HttpReply replyWith(const QList<QByteArray>& headers, const QByteArray& body)
{
    HttpReply reply;
    reply.completed = true;
    reply.status = 200;
    reply.headers = headers;
    reply.body = body;
    return reply;
}

} // namespace

class TestWorkstation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietDicomLogging(); }

    void options_data();
    void options();

    void sessionIdFromLogin_data();
    void sessionIdFromLogin();
    void serialFromLookup_data();
    void serialFromLookup();
    void dictionaryEntries_data();
    void dictionaryEntries();
    void recordDifferences_data();
    void recordDifferences();
    void displayDateTime_data();
    void displayDateTime();

    void formFieldsArePercentEncoded();
    void loginSendsFieldsAndKeepsTheSession();
    void loginRefused();
    void lookupsSendTheSession_data();
    void lookupsSendTheSession();
    void silentServerEndsWithinTheBound();
    void unreachableServer();

    void importSampleStudies();
    void importIsRepeatable();
    void importMissingFolder();
    void patientNameCharacterSets_data();
    void patientNameCharacterSets();
    void unusableFilesAreSkipped_data();
    void unusableFilesAreSkipped();
    void onePatientPerIdAndName();
    void pluginStatementsFitTheSchema();

    void answerer_data();
    void answerer();
    void answererDismissesOtherModalWindows();

    void hostOwnsItsForms();
    void windowListsTheStudies();
};

void TestWorkstation::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<QString>("error");  // part of the message; empty: none
    QTest::addColumn<QString>("walkthrough");
    QTest::addColumn<QString>("cloud");
    QTest::addColumn<int>("wait");
    QTest::addColumn<QStringList>("imports");

    const QString cloud = QStringLiteral("http://127.0.0.1:8082");
    QTest::newRow("defaults") << QStringList() << false << "" << "" << cloud << 30 << QStringList();
    QTest::newRow("no display: walk-through") << QStringList() << true << "" << "walkthrough" << cloud << 30
                                              << QStringList();
    QTest::newRow("--offscreen: walk-through") << QStringList{"--offscreen"} << false << "" << "walkthrough" << cloud
                                               << 30 << QStringList();
    QTest::newRow("named folder") << QStringList{"--walkthrough", "out", "--wait", "5"} << false << "" << "out"
                                  << cloud << 5 << QStringList();
    QTest::newRow("screenshot instead") << QStringList{"--screenshot", "f.png"} << true << "" << "" << cloud << 30
                                        << QStringList();
    QTest::newRow("import and quit") << QStringList{"--import", "a", "--import", "b", "--quit"} << true << "" << ""
                                     << cloud << 30 << QStringList{"a", "b"};
    QTest::newRow("slashes after the host") << QStringList{"--cloud", "http://h:1//"} << false << "" << ""
                                            << "http://h:1" << 30 << QStringList();
    QTest::newRow("wait 0") << QStringList{"--wait", "0"} << false << "--wait" << "" << cloud << 0 << QStringList();
    QTest::newRow("wait not a number") << QStringList{"--wait", "x"} << false << "--wait" << "" << cloud << 0
                                       << QStringList();
    QTest::newRow("wait too long") << QStringList{"--wait", "3601"} << false << "--wait" << "" << cloud << 3601
                                   << QStringList();
    QTest::newRow("not http") << QStringList{"--cloud", "ftp://h"} << false << "--cloud" << "" << "ftp://h" << 30
                              << QStringList();
    QTest::newRow("empty folder name") << QStringList{"--walkthrough", ""} << false << "--walkthrough" << "" << cloud
                                       << 30 << QStringList();
    QTest::newRow("empty import") << QStringList{"--import", ""} << false << "--import" << "" << cloud << 30
                                  << QStringList{""};
    QTest::newRow("stray argument") << QStringList{"study"} << false << "Unexpected" << "" << cloud << 30
                                    << QStringList();
    QTest::newRow("unknown option") << QStringList{"--bogus"} << false << "bogus" << "" << cloud << 30
                                    << QStringList();
}

void TestWorkstation::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, headless);
    QFETCH(QString, error);
    const WorkstationOptions options =
        parseWorkstationOptions(QStringList{QStringLiteral("workstation")} + arguments, headless);
    if (!error.isEmpty()) {
        QVERIFY2(options.error.contains(error), qPrintable(options.error));
        return;
    }
    QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
    QTEST(options.walkthroughDir, "walkthrough");
    QTEST(options.cloudUrl, "cloud");
    QTEST(options.waitSeconds, "wait");
    QTEST(options.importFolders, "imports");
    QCOMPARE(options.databaseFile, QStringLiteral("workstation.sqlite"));
    QCOMPARE(options.quitAfterImport, arguments.contains(QStringLiteral("--quit")));
}

void TestWorkstation::sessionIdFromLogin_data()
{
    QTest::addColumn<QList<QByteArray>>("headers");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("session");

    QTest::newRow("cookie") << QList<QByteArray>{"HTTP/1.1 200 OK", "Set-Cookie: JSESSIONID=abc; Path=/"}
                            << QByteArray() << QByteArray("abc");
    QTest::newRow("header name in other case") << QList<QByteArray>{"set-cookie:JSESSIONID=x1"} << QByteArray()
                                               << QByteArray("x1");
    QTest::newRow("another cookie first")
        << QList<QByteArray>{"Set-Cookie: lang=zh", "Set-Cookie: JSESSIONID=s2; HttpOnly"} << QByteArray()
        << QByteArray("s2");
    QTest::newRow("cookie wins over body") << QList<QByteArray>{"Set-Cookie: JSESSIONID=c"}
                                           << QByteArray(R"({"jsessionid":"b"})") << QByteArray("c");
    QTest::newRow("body only") << QList<QByteArray>() << QByteArray(R"({"jsessionid":"b"})") << QByteArray("b");
    QTest::newRow("empty cookie, body") << QList<QByteArray>{"Set-Cookie: JSESSIONID=; Path=/"}
                                        << QByteArray(R"({"jsessionid":"b"})") << QByteArray("b");
    QTest::newRow("id not a string") << QList<QByteArray>() << QByteArray(R"({"jsessionid":7})") << QByteArray();
    QTest::newRow("cookie named in a value") << QList<QByteArray>{"X-Note: JSESSIONID=no"} << QByteArray("oops")
                                             << QByteArray();
}

void TestWorkstation::sessionIdFromLogin()
{
    QFETCH(QList<QByteArray>, headers);
    QFETCH(QByteArray, body);
    QTEST(::sessionIdFromLogin(replyWith(headers, body)), "session");
}

void TestWorkstation::serialFromLookup_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<std::optional<QString>>("serial");

    QTest::newRow("unknown study") << QByteArray("{}") << std::optional<QString>(QString());
    QTest::newRow("known") << QByteArray(R"({"rischeckserialnum":"CN00000001"})")
                           << std::optional<QString>(QStringLiteral("CN00000001"));
    QTest::newRow("blanks and more members") << QByteArray(R"( { "a": 1, "rischeckserialnum" : "A 1" } )")
                                             << std::optional<QString>(QStringLiteral("A 1"));
    QTest::newRow("empty") << QByteArray() << std::optional<QString>();
    QTest::newRow("not JSON") << QByteArray("<html>") << std::optional<QString>();
    QTest::newRow("array") << QByteArray("[]") << std::optional<QString>();
    QTest::newRow("number") << QByteArray(R"({"rischeckserialnum":5})") << std::optional<QString>();
    QTest::newRow("empty serial") << QByteArray(R"({"rischeckserialnum":""})") << std::optional<QString>();
    QTest::newRow("error object") << QByteArray(R"({"error":"not logged in"})") << std::optional<QString>();
}

void TestWorkstation::serialFromLookup()
{
    QFETCH(QByteArray, reply);
    QFETCH(std::optional<QString>, serial);
    const std::optional<QString> read = ::serialFromLookup(reply);
    QCOMPARE(read.has_value(), serial.has_value());
    if (serial)
        QCOMPARE(*read, *serial);
}

void TestWorkstation::dictionaryEntries_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("entries") << QByteArray(R"([{"i":"0","n":"头部"},{"n":"胸部","i":"1"}])") << true
                             << QStringList{"0", "1"} << QStringList{"头部", "胸部"};
    QTest::newRow("empty list") << QByteArray("[]") << true << QStringList() << QStringList();
    QTest::newRow("number id, missing name") << QByteArray(R"([{"i":3}])") << true << QStringList{""}
                                             << QStringList{""};
    QTest::newRow("entry not an object") << QByteArray(R"(["x",{"i":"1","n":"y"}])") << true
                                         << QStringList{"", "1"} << QStringList{"", "y"};
    QTest::newRow("object") << QByteArray("{}") << false << QStringList() << QStringList();
    QTest::newRow("broken") << QByteArray("[{") << false << QStringList() << QStringList();
}

void TestWorkstation::dictionaryEntries()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    const auto entries = ::dictionaryEntries(json, QStringLiteral("i"), QStringLiteral("n"));
    QCOMPARE(entries.has_value(), valid);
    if (!valid)
        return;
    QStringList ids;
    for (const DictionaryEntry& entry : *entries)
        ids.append(entry.id);
    QTEST(ids, "ids");
    QTEST(dictionaryNames(*entries), "names");
}

void TestWorkstation::recordDifferences_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QStringList>("expected");  // key=value
    QTest::addColumn<QStringList>("differing");  // keys named in the differences

    const qint64 noon = QDateTime(QDate(2024, 1, 15), QTime(12, 0), Qt::LocalTime).toMSecsSinceEpoch();
    QTest::newRow("texts agree") << QByteArray(R"({"sex":"F","prediagnose":"肺炎","extra":1})")
                                 << QStringList{"sex=F", "prediagnose=肺炎"} << QStringList();
    QTest::newRow("numbers by their decimal text")
        << QByteArray(R"({"age":32,"checkitemid":1})") << QStringList{"age=32", "checkitemid=1"} << QStringList();
    QTest::newRow("study time as local time")
        << QString(R"({"studytime":%1})").arg(noon).toUtf8() << QStringList{"studytime=2024-01-15 12:00:00"}
        << QStringList();
    QTest::newRow("study time as the form sends it") << QByteArray(R"({"studytime":"2024-01-15 12:00:00"})")
                                                     << QStringList{"studytime=2024-01-15 12:00:00"}
                                                     << QStringList();
    QTest::newRow("other text") << QByteArray(R"({"sex":"M","age":"3"})") << QStringList{"sex=F", "age=3"}
                                << QStringList{"sex"};
    QTest::newRow("missing") << QByteArray(R"({})") << QStringList{"prediagnose="} << QStringList{"prediagnose"};
    QTest::newRow("fraction is not the whole number") << QByteArray(R"({"age":32.5})") << QStringList{"age=32"}
                                                      << QStringList{"age"};
    QTest::newRow("other type") << QByteArray(R"({"sex":true,"age":null})") << QStringList{"sex=true", "age="}
                                << QStringList{"age", "sex"};
}

void TestWorkstation::recordDifferences()
{
    QFETCH(QByteArray, record);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, differing);
    RecordValues values;
    for (const QString& pair : expected)
        values.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    const QStringList found = ::recordDifferences(QJsonDocument::fromJson(record).object(), values);
    QStringList keys;
    for (const QString& line : found)
        keys.append(line.section(QLatin1Char(':'), 0, 0));
    QCOMPARE(keys, differing);
}

void TestWorkstation::displayDateTime_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("shown");
    QTest::newRow("date and time") << "20240115" << "093000" << "2024-01-15 09:30";
    QTest::newRow("fraction and colons") << "20240115" << "09:30:12.5" << "2024-01-15 09:30";
    QTest::newRow("no time") << "20240115" << "" << "2024-01-15";
    QTest::newRow("hour only") << "20240115" << "09" << "2024-01-15 09";
    QTest::newRow("odd date kept") << "2024" << "1200" << "2024 12:00";
    QTest::newRow("nothing") << "" << "" << "";
}

void TestWorkstation::displayDateTime()
{
    QFETCH(QString, date);
    QFETCH(QString, time);
    QTEST(::displayDateTime(date, time), "shown");
}

void TestWorkstation::formFieldsArePercentEncoded()
{
    QCOMPARE(encodeFormFields({{"user", "demo"}, {"pass word", "a&b=c 张"}}),
             QByteArray("user=demo&pass%20word=a%26b%3Dc%20%E5%BC%A0"));
    QCOMPARE(encodeFormFields({}), QByteArray());
}

void TestWorkstation::loginSendsFieldsAndKeepsTheSession()
{
    TestServer server;
    server.setHandler("POST", "/kelva/login", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "JSESSIONID=s3cr3t; Path=/");
        response.set_content(R"({"jsessionid":"s3cr3t"})", "application/json");
    });
    CloudAccount cloud(server.url(), 5);
    QVERIFY2(cloud.login(QStringLiteral("demo"), QStringLiteral("p&w")), qPrintable(cloud.errorString()));
    QCOMPARE(cloud.sessionId(), QByteArray("s3cr3t"));
    const auto sent = server.requests("/kelva/login");
    QCOMPARE(sent.size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(sent.front().body), QByteArray("user=demo&password=p%26w"));
    QCOMPARE(QByteArray::fromStdString(sent.front().header("Content-Type")),
             QByteArray("application/x-www-form-urlencoded"));
}

void TestWorkstation::loginRefused()
{
    TestServer server;
    ScriptedReply refused;
    refused.status = 401;
    refused.body = R"({"error":"wrong user name or password"})";
    server.setReply("POST", "/kelva/login", refused);
    CloudAccount cloud(server.url(), 5);
    QVERIFY(!cloud.login(QStringLiteral("demo"), QStringLiteral("nope")));
    QVERIFY(cloud.errorString().contains(QLatin1String("401")));
    QVERIFY(cloud.sessionId().isEmpty());
}

void TestWorkstation::lookupsSendTheSession_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("serial");

    QTest::newRow("unknown") << 200 << QByteArray("{}") << true << "";
    QTest::newRow("known") << 200 << QByteArray(R"({"rischeckserialnum":"CN7"})") << true << "CN7";
    QTest::newRow("not logged in") << 401 << QByteArray(R"({"error":"x"})") << false << "";
    QTest::newRow("odd reply") << 200 << QByteArray("[1]") << false << "";
}

void TestWorkstation::lookupsSendTheSession()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(bool, answered);
    TestServer server;
    server.setHandler("POST", "/kelva/login", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "JSESSIONID=abc");
    });
    ScriptedReply lookup;
    lookup.status = status;
    lookup.body = reply.toStdString();
    server.setReply("GET", "/kelva/individual/findCheckNum4Unique", lookup);
    CloudAccount cloud(server.url(), 5);
    QVERIFY(cloud.login(QStringLiteral("u"), QStringLiteral("p")));

    const std::optional<QString> serial = cloud.serialOf(QStringLiteral("1.2.3"));
    QCOMPARE(serial.has_value(), answered);
    if (answered)
        QTEST(*serial, "serial");
    else
        QVERIFY(!cloud.errorString().isEmpty());
    const auto sent = server.requests("/kelva/individual/findCheckNum4Unique");
    QCOMPARE(sent.size(), size_t(1));
    QCOMPARE(sent.front().target, std::string("/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.3"));
    QCOMPARE(sent.front().header("Cookie"), std::string("JSESSIONID=abc"));
}

void TestWorkstation::silentServerEndsWithinTheBound()
{
    TestServer server;
    server.setHandler("GET", "/slow", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        response.set_content("late", "text/plain");
    });
    QElapsedTimer clock;
    clock.start();
    const HttpReply reply = HttpClient(1).get(server.url(QStringLiteral("/slow")));
    QVERIFY(!reply.completed);
    QVERIFY(!reply.error.isEmpty());
    QVERIFY2(clock.elapsed() < 2300, qPrintable(QString::number(clock.elapsed())));
}

void TestWorkstation::unreachableServer()
{
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.port();
    }
    CloudAccount cloud(QStringLiteral("http://127.0.0.1:%1").arg(closedPort), 2);
    QVERIFY(!cloud.login(QStringLiteral("demo"), QStringLiteral("demo")));
    QVERIFY(cloud.errorString().startsWith(QLatin1String("cannot reach")));
}

void TestWorkstation::importSampleStudies()
{
    QTemporaryDir dir;
    QVector<SampleStudy> written;
    QString error;
    QVERIFY(writeSampleStudies(dir.path(), defaultSampleStudies(), &written, &error));
    // Beside the images: the manifest and a note (not DICOM), a DICOMDIR and a
    // hidden file (not looked at).
    QVERIFY(QFile::copy(dir.filePath(written.first().files().first()), dir.filePath(QStringLiteral("DICOMDIR"))));
    QVERIFY(QFile::copy(dir.filePath(written.first().files().first()), dir.filePath(QStringLiteral(".hidden.dcm"))));
    QFile note(dir.filePath(QStringLiteral("study01/note.txt")));
    QVERIFY(note.open(QIODevice::WriteOnly) && note.write("not an image") > 0);
    note.close();

    QTemporaryDir dbDir;
    LocalDatabase db;
    QVERIFY(db.open(dbDir.filePath(QStringLiteral("local.sqlite"))));
    const ImportSummary summary = importFolder(dir.path(), db);
    QVERIFY2(summary.error.isEmpty(), qPrintable(summary.error));
    int images = 0;
    for (const SampleStudy& study : written)
        images += study.files().size();
    QCOMPARE(summary.studies, written.size());
    QCOMPARE(summary.images, images);
    QCOMPARE(summary.skipped, 2);
    QCOMPARE(summary.files, images + 2);
    QCOMPARE(summary.problems.size(), 2);

    const QVector<LocalStudy> studies = db.studies();
    QCOMPARE(studies.size(), written.size());
    for (int i = 0; i < studies.size(); ++i) {
        const SampleStudy& expected = written.at(i);
        QCOMPARE(studies.at(i).studyUid, expected.studyUid);
        QCOMPARE(studies.at(i).patientName, expected.plan.patient.name);
        QCOMPARE(studies.at(i).patientId, expected.plan.patient.id);
        QCOMPARE(studies.at(i).patientSex, expected.plan.patient.sex);
        QCOMPARE(studies.at(i).studyDate, expected.plan.studyTime.toString(QStringLiteral("yyyyMMdd")));
        QCOMPARE(studies.at(i).modalities, expected.plan.modality);
        QCOMPARE(studies.at(i).imageCount, expected.files().size());
        QStringList files;
        for (const QString& file : expected.files())
            files.append(QFileInfo(dir.filePath(file)).absoluteFilePath());
        QCOMPARE(db.imagePaths(studies.at(i).pk), files);
    }
    QCOMPARE(describeImport(summary), QStringLiteral("4 studies, 18 images added; 0 known; 2 skipped"));
}

void TestWorkstation::importIsRepeatable()
{
    ImportedSamples samples(2);
    QVERIFY(samples.ready);
    const ImportSummary again = importFolder(samples.folder(), samples.db);
    QCOMPARE(again.studies, 0);
    QCOMPARE(again.images, 0);
    QCOMPARE(again.known, samples.summary.images);
    QCOMPARE(samples.db.studies().size(), 2);
    QCOMPARE(select(QStringLiteral("SELECT count(*) FROM imageformat")).first().first().toInt(),
             samples.summary.images);
}

void TestWorkstation::importMissingFolder()
{
    QTemporaryDir dir;
    LocalDatabase db;
    QVERIFY(db.open(dir.filePath(QStringLiteral("local.sqlite"))));
    const ImportSummary summary = importFolder(dir.filePath(QStringLiteral("nothing here")), db);
    QVERIFY(summary.error.contains(QLatin1String("not a folder")));
    QCOMPARE(summary.files, 0);
}

void TestWorkstation::patientNameCharacterSets_data()
{
    QTest::addColumn<QByteArray>("characterSet");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("name");

    const QString zhang = QStringLiteral("张三");
    QTest::newRow("UTF-8") << QByteArray("ISO_IR 192") << zhang.toUtf8() << zhang;
    QTest::newRow("GB18030") << QByteArray("GB18030") << QTextCodec::codecForName("GB18030")->fromUnicode(zhang)
                             << zhang;
    QTest::newRow("GBK") << QByteArray("GBK") << QTextCodec::codecForName("GBK")->fromUnicode(zhang) << zhang;
    QTest::newRow("Latin-1") << QByteArray("ISO_IR 100") << QByteArray("M\xfcller^Hans")
                             << QStringLiteral("Müller^Hans");
    QTest::newRow("no set, ASCII") << QByteArray() << QByteArray("Smith^John") << QStringLiteral("Smith^John");
    QTest::newRow("no set, not ASCII: read as Latin-1") << QByteArray() << QByteArray("J\xe9r\xf4me")
                                                        << QStringLiteral("Jérôme");
    QTest::newRow("unknown set: read as Latin-1") << QByteArray("ISO_IR 999") << QByteArray("Z\xfc\xe9")
                                                  << QStringLiteral("Züé");
    QTest::newRow("padding dropped") << QByteArray("ISO_IR 192") << QByteArray("Li^Si ") << QStringLiteral("Li^Si");
}

void TestWorkstation::patientNameCharacterSets()
{
    QFETCH(QByteArray, characterSet);
    QFETCH(QByteArray, raw);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.dcm"));
    QVERIFY(writeImage(path, characterSet, raw));
    DicomFileInfo info;
    QString error;
    QVERIFY2(readDicomFile(path, &info, &error), qPrintable(error));
    QTEST(info.patientName, "name");
    QCOMPARE(info.characterSet, QString::fromLatin1(characterSet));
    QCOMPARE(info.patientId, QStringLiteral("P1"));
}

void TestWorkstation::unusableFilesAreSkipped_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: a DICOM image without SOPInstanceUID
    QTest::addColumn<QString>("reason");
    QTest::newRow("no SOP instance UID") << QByteArray() << "SOPInstanceUID";
    QTest::newRow("text") << QByteArray("hello, not an image\n") << "not a DICOM file";
    QTest::newRow("truncated preamble") << QByteArray(130, '\0') << "not a DICOM file";
}

void TestWorkstation::unusableFilesAreSkipped()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in/file"));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("in"))));
    if (content.isEmpty()) {
        QVERIFY(writeImage(path, "ISO_IR 192", "X", "P1", false));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    LocalDatabase db;
    QVERIFY(db.open(dir.filePath(QStringLiteral("local.sqlite"))));
    const ImportSummary summary = importFolder(dir.filePath(QStringLiteral("in")), db);
    QVERIFY(summary.error.isEmpty());
    QCOMPARE(summary.skipped, 1);
    QCOMPARE(summary.images, 0);
    QVERIFY2(summary.problems.value(0).contains(reason), qPrintable(summary.problems.value(0)));
    QVERIFY(db.studies().isEmpty());
}

void TestWorkstation::onePatientPerIdAndName()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in));
    QVERIFY(writeImage(in + QStringLiteral("/a.dcm"), "ISO_IR 192", "Wang^Fang", "P9"));
    QVERIFY(writeImage(in + QStringLiteral("/b.dcm"), "ISO_IR 192", "Wang^Fang", "P9"));
    QVERIFY(writeImage(in + QStringLiteral("/c.dcm"), "ISO_IR 192", "Wang^Fan", "P9"));
    LocalDatabase db;
    QVERIFY(db.open(dir.filePath(QStringLiteral("local.sqlite"))));
    const ImportSummary summary = importFolder(in, db);
    QCOMPARE(summary.studies, 3);
    QCOMPARE(select(QStringLiteral("SELECT PatientName, count(*) FROM patient GROUP BY PatientName ORDER BY 1")),
             (QList<QStringList>{{"Wang^Fan", "1"}, {"Wang^Fang", "1"}}));
    const QVector<LocalStudy> studies = db.studies();
    QCOMPARE(db.patientOfStudy(studies.at(0).pk)->pk, db.patientOfStudy(studies.at(1).pk)->pk);
    QVERIFY(db.patientOfStudy(studies.at(2).pk)->pk != db.patientOfStudy(studies.at(0).pk)->pk);
    QVERIFY(!db.patientOfStudy(-5).has_value());
}

void TestWorkstation::pluginStatementsFitTheSchema()
{
    // The plug-in reads and writes the host's tables with statements of its
    // own; they must work on this schema as they are written.
    ImportedSamples samples(2);
    QVERIFY(samples.ready);
    const LocalDatabase& db = samples.db;
    const QVector<SampleStudy>& written = samples.written;
    const LocalStudy second = db.studies().at(1);
    const QString key = QStringLiteral("'%1'").arg(second.pk);

    QStringList files;
    for (const QStringList& row : select(QStringLiteral(
             "SELECT imageformat.FilePath FROM generalstudy inner join generalseries inner join imageformat "
             "WHERE generalstudy.pk=generalseries.study_fk and generalseries.pk=imageformat.series_fk "
             "and generalstudy.pk=") + key))
        files.append(row.first());
    QCOMPARE(files, db.imagePaths(second.pk));
    QCOMPARE(select(QStringLiteral("SELECT patient.PatientName FROM patient inner join generalstudy "
                                   "WHERE patient.pk=generalstudy.patient_fk and generalstudy.pk=") + key),
             (QList<QStringList>{{written.at(1).plan.patient.name}}));

    QSqlQuery statement;
    QVERIFY(statement.exec(QStringLiteral("INSERT INTO patientinfoindex (StudyUID,CheckSerialNum,PatientInfoPath) "
                                          "VALUES ('%1','CN1','/b/x.json') ;").arg(second.studyUid)));
    QCOMPARE(db.indexRows(second.studyUid).size(), 1);
    QCOMPARE(db.indexRows(second.studyUid).first().checkSerialNum, QStringLiteral("CN1"));
    const qint64 patient = db.patientOfStudy(second.pk)->pk;
    QVERIFY(statement.exec(QStringLiteral("UPDATE patient SET PatientName='%1',PatientSex='%2' WHERE pk='%3'")
                               .arg(QStringLiteral("李四四"), QStringLiteral("O"))
                               .arg(patient)));
    QCOMPARE(db.patientOfStudy(second.pk)->name, QStringLiteral("李四四"));
    QCOMPARE(db.patientOfStudy(second.pk)->sex, QStringLiteral("O"));
    QCOMPARE(db.patientOfStudy(db.studies().at(0).pk)->name, written.at(0).plan.patient.name);
}

void TestWorkstation::answerer_data()
{
    QTest::addColumn<bool>("question");
    QTest::addColumn<QString>("expected");  // empty: no box expected
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("surprises");

    const QString text = QStringLiteral("Are you sure to SAVE ALL ?");
    QTest::newRow("question accepted") << true << text << int(BoxAnswerer::Accept) << 1 << 0;
    QTest::newRow("question declined") << true << text << int(BoxAnswerer::Decline) << 0 << 0;
    QTest::newRow("warning accepted") << false << text << int(BoxAnswerer::Accept) << 1 << 0;
    QTest::newRow("warning declined by closing") << false << text << int(BoxAnswerer::Decline) << 0 << 0;
    QTest::newRow("other text") << true << QStringLiteral("Net connect error,please check again!")
                                << int(BoxAnswerer::Accept) << 0 << 1;
    QTest::newRow("nothing expected") << false << QString() << int(BoxAnswerer::Accept) << 0 << 1;
}

void TestWorkstation::answerer()
{
    QFETCH(bool, question);
    QFETCH(QString, expected);
    QFETCH(int, answer);
    QFETCH(int, result);
    QFETCH(int, surprises);
    const QString text = QStringLiteral("Are you sure to SAVE ALL ?");
    BoxAnswerer answerer;
    if (!expected.isEmpty())
        answerer.expect(expected, BoxAnswerer::Answer(answer));
    // Should the answerer fail, this ends the box so that the test fails instead of hanging.
    QTimer rescue;
    rescue.setSingleShot(true);
    connect(&rescue, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            box->done(-1);
    });
    rescue.start(5000);
    const int got = question ? zoxMessageBoxForm::question(nullptr, QStringLiteral("System Hint"), text, 3, 1)
                             : zoxMessageBoxForm::warning(nullptr, QStringLiteral("System Hint"), text, 1, 1);
    QCOMPARE(got, result);
    QCOMPARE(answerer.surprises().size(), surprises);
    QCOMPARE(answerer.answered(), surprises == 0 ? QStringList{text} : QStringList());
    QCOMPARE(answerer.pending(), surprises == 0 || expected.isEmpty() ? 0 : 1);
}

void TestWorkstation::answererDismissesOtherModalWindows()
{
    BoxAnswerer answerer;
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Select folder"));
    QTimer rescue;
    rescue.setSingleShot(true);
    connect(&rescue, &QTimer::timeout, &dialog, [&dialog] { dialog.done(-1); });
    rescue.start(5000);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(answerer.surprises().size(), 1);
    QVERIFY(answerer.surprises().first().contains(QLatin1String("Select folder")));
    QVERIFY(messageBoxText(&dialog).isNull());
}

void TestWorkstation::hostOwnsItsForms()
{
    QString error;
    QVERIFY2(ConfigFolder(QCoreApplication::applicationDirPath()).ensureDictionaries(&error), qPrintable(error));
    StudyHost host(QCoreApplication::applicationDirPath());
    QPointer<QWidget> first = host.newForm();
    QPointer<QWidget> second = host.newForm();
    QVERIFY2(first && second, qPrintable(host.error()));
    QVERIFY(first != second);
    QVERIFY(dynamic_cast<CloudPatientHost*>(first.data()));
    QVERIFY(!first->isVisible());
    QCOMPARE(host.formCount(), 2);

    QWidget stranger;
    host.deleteForm(&stranger);
    QCOMPARE(host.formCount(), 2);
    host.deleteForm(first);
    QVERIFY(first.isNull());
    QVERIFY(!second.isNull());
    QCOMPARE(host.formCount(), 1);
}

void TestWorkstation::windowListsTheStudies()
{
    ImportedSamples samples(4);
    QVERIFY(samples.ready);
    const QVector<SampleStudy>& written = samples.written;
    StudyHost host(QCoreApplication::applicationDirPath());
    CloudAccount cloud(QStringLiteral("http://127.0.0.1:1"), 1);
    StudyListWindow window(samples.db, host, cloud, QStringLiteral("demo"), QStringLiteral("demo"));

    const QTableView* table = window.findChild<QTableView*>();
    QVERIFY(table && table->model());
    const QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), written.size());
    for (int row = 0; row < written.size(); ++row) {
        const SampleStudyPlan& plan = written.at(row).plan;
        QCOMPARE(model->index(row, 0).data().toString(), plan.patient.name);
        QCOMPARE(model->index(row, 3).data().toString(), plan.studyTime.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        QCOMPARE(model->index(row, 6).data().toString(), QString::number(written.at(row).files().size()));
        QCOMPARE(model->index(row, 7).data().toString(), written.at(row).studyUid);
    }
    QCOMPARE(table->currentIndex().row(), 0);
    QCOMPARE(host.formCount(), 0);
}

QTEST_MAIN(TestWorkstation)
#include "tst_workstation.moc"
