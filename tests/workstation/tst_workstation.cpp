// The host's parts that the demo and the end-to-end run stand on: reading the
// login and lookup replies and the DICOM import. The plug-in's statements meet
// the same schema (tools/support) in the open and save tests.

#include "cloudaccount.h"
#include "dicomtext.h"
#include "localdatabase.h"
#include "samplestudies.h"
#include "studyimport.h"
#include "testserver.h"
#include "workstationoptions.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(std::optional<QString>)

class TestWorkstation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void options_data();
    void options();
    void password_data();
    void password();
    void sessionIdFromLogin_data();
    void sessionIdFromLogin();
    void lookupSendsTheSession_data();
    void lookupSendsTheSession();
    void importSampleStudies();

private:
    QTemporaryDir dir;
    QVector<SampleStudy> written;
    LocalDatabase db;
    ImportSummary imported;
};

void TestWorkstation::initTestCase()
{
    quietDicomLogging();
    QString error;
    QVERIFY2(writeSampleStudies(dir.filePath(QStringLiteral("in")), defaultSampleStudies(), &written, &error),
             qPrintable(error));
    // Beside the images: the manifest and a note (not DICOM), and copies of an
    // image as DICOMDIR and as a hidden file, which are not looked at.
    const QString image = dir.filePath(QStringLiteral("in/") + written.first().files().first());
    QVERIFY(QFile::copy(image, dir.filePath(QStringLiteral("in/DICOMDIR"))));
    QVERIFY(QFile::copy(image, dir.filePath(QStringLiteral("in/study01/.hidden.dcm"))));
    QFile note(dir.filePath(QStringLiteral("in/study01/note.txt")));
    QVERIFY(note.open(QIODevice::WriteOnly) && note.write("not an image") > 0);
    note.close();
    QVERIFY(db.open(dir.filePath(QStringLiteral("local.sqlite"))));
    imported = importFolder(dir.filePath(QStringLiteral("in")), db);
}

void TestWorkstation::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("walkthrough");
    QTest::newRow("no display") << QStringList() << "walkthrough";
    QTest::newRow("import and quit") << QStringList{"--import", "a", "--quit"} << "";
}

void TestWorkstation::options()
{
    QFETCH(QStringList, arguments);
    const WorkstationOptions options = parseWorkstationOptions(QStringList{QStringLiteral("ws")} + arguments, true);
    QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
    QTEST(options.walkthroughDir, "walkthrough");
}

void TestWorkstation::password_data()
{
    QTest::addColumn<QStringList>("arguments");  // "FILE": the file holding "file pw\r\nsecond line"
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QString>("password");  // empty: an error
    QTest::newRow("default") << QStringList() << QByteArray() << "demo";
    QTest::newRow("environment") << QStringList() << QByteArray("env pw") << "env pw";
    QTest::newRow("file, first line") << QStringList{"--password-file", "FILE"} << QByteArray("env pw") << "file pw";
    QTest::newRow("command line") << QStringList{"--password", "p&w"} << QByteArray("env pw") << "p&w";
    QTest::newRow("both options") << QStringList{"--password", "p", "--password-file", "FILE"} << QByteArray() << "";
    QTest::newRow("no such file") << QStringList{"--password-file", "/no/such/file"} << QByteArray() << "";
}

void TestWorkstation::password()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, environment);
    QFETCH(QString, password);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("password"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write("file pw\r\nsecond line\n") > 0);
    out.close();
    if (environment.isNull())
        qunsetenv("WORKSTATION_PASSWORD");
    else
        qputenv("WORKSTATION_PASSWORD", environment);
    const WorkstationOptions options =
        parseWorkstationOptions(QStringList{QStringLiteral("ws")} + arguments.replaceInStrings("FILE", file), true);
    qunsetenv("WORKSTATION_PASSWORD");
    QCOMPARE(options.error.isEmpty(), !password.isEmpty());
    if (!password.isEmpty())
        QCOMPARE(options.password, password);
}

void TestWorkstation::sessionIdFromLogin_data()
{
    QTest::addColumn<QList<QByteArray>>("headers");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("session");
    const QByteArray json = R"({"jsessionid":"b"})";
    QTest::newRow("cookie") << QList<QByteArray>{"Set-Cookie: JSESSIONID=a; Path=/"} << QByteArray() << QByteArray("a");
    QTest::newRow("lower case") << QList<QByteArray>{"set-cookie:JSESSIONID=x1"} << QByteArray() << QByteArray("x1");
    QTest::newRow("other cookie first") << QList<QByteArray>{"Set-Cookie: lang=zh", "Set-Cookie: JSESSIONID=s2"}
                                        << QByteArray() << QByteArray("s2");
    QTest::newRow("cookie wins") << QList<QByteArray>{"Set-Cookie: JSESSIONID=c"} << json << QByteArray("c");
    QTest::newRow("empty cookie, body") << QList<QByteArray>{"Set-Cookie: JSESSIONID=; Path=/"} << json
                                        << QByteArray("b");
    QTest::newRow("neither") << QList<QByteArray>{"X-Note: JSESSIONID=no"} << QByteArray(R"({"jsessionid":7})")
                             << QByteArray();
}

void TestWorkstation::sessionIdFromLogin()
{
    HttpReply reply;
    QFETCH(QList<QByteArray>, headers);
    QFETCH(QByteArray, body);
    reply.headers = headers;
    reply.body = body;
    QTEST(::sessionIdFromLogin(reply), "session");
}

void TestWorkstation::lookupSendsTheSession_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<std::optional<QString>>("serial");
    QTest::newRow("unknown study") << QByteArray("{}") << std::optional<QString>(QString());
    QTest::newRow("known") << QByteArray(R"( {"a":1, "rischeckserialnum" : "CN 1"} )")
                           << std::optional<QString>(QStringLiteral("CN 1"));
    QTest::newRow("not JSON") << QByteArray("<html>") << std::optional<QString>();
    QTest::newRow("empty serial") << QByteArray(R"({"rischeckserialnum":""})") << std::optional<QString>();
    QTest::newRow("error object") << QByteArray(R"({"error":"not logged in"})") << std::optional<QString>();
}

void TestWorkstation::lookupSendsTheSession()
{
    QFETCH(QByteArray, reply);
    TestServer server;
    server.setHandler("POST", "/kelva/login", [](const httplib::Request& request, httplib::Response& response) {
        if (request.get_param_value("password") == "p&w")
            response.set_header("Set-Cookie", "JSESSIONID=s3; Path=/");
        else
            response.status = 401;
    });
    ScriptedReply lookup;
    lookup.body = reply.toStdString();
    server.setReply("GET", "/kelva/individual/findCheckNum4Unique", lookup);

    CloudAccount cloud(server.url(), 5);
    QVERIFY(!cloud.login(QStringLiteral("demo"), QStringLiteral("nope")));
    QVERIFY2(cloud.errorString().startsWith(QLatin1String("login refused (HTTP 401)")),
             qPrintable(cloud.errorString()));
    QVERIFY2(cloud.login(QStringLiteral("demo"), QStringLiteral("p&w")), qPrintable(cloud.errorString()));
    QCOMPARE(server.requests("/kelva/login").back().body, std::string("user=demo&password=p%26w"));
    QTEST(cloud.serialOf(QStringLiteral("1.2 3")), "serial");
    const RecordedRequest sent = server.requests("/kelva/individual/findCheckNum4Unique").at(0);
    QCOMPARE(sent.target, std::string("/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2%203"));
    QCOMPARE(sent.header("Cookie"), std::string("JSESSIONID=s3"));
}

void TestWorkstation::importSampleStudies()
{
    QCOMPARE(describeImport(imported), QStringLiteral("4 studies, 18 images added; 0 known; 2 skipped"));
    QVERIFY2(imported.problems.value(1).contains(QLatin1String("note.txt: not a DICOM file")),
             qPrintable(imported.problems.join('\n')));
    const QVector<LocalStudy> studies = db.studies();
    QCOMPARE(studies.size(), written.size());
    for (int i = 0; i < studies.size(); ++i) {
        QCOMPARE(studies.at(i).studyUid, written.at(i).studyUid);
        QCOMPARE(studies.at(i).patientName, written.at(i).plan.patient.name);
        QCOMPARE(studies.at(i).patientSex, written.at(i).plan.patient.sex);
        QStringList files;
        for (const QString& file : written.at(i).files())
            files.append(QFileInfo(dir.filePath(QStringLiteral("in/") + file)).absoluteFilePath());
        QCOMPARE(db.imagePaths(studies.at(i).pk), files);
    }
    QCOMPARE(describeImport(importFolder(dir.filePath(QStringLiteral("in")), db)),
             QStringLiteral("0 studies, 0 images added; 18 known; 2 skipped"));
    QCOMPARE(db.studies().size(), written.size());
}

QTEST_MAIN(TestWorkstation)
#include "tst_workstation.moc"
