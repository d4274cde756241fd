#include "cloudaccount.h"
#include "cloudservice.h"
#include "faultserver.h"
#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "outputcapture.h"
#include "servicelistener.h"
#include "studydatabase.h"
#include "testcertificateauthority.h"
#include "tlstestserver.h"
#include "uploadaccess.h"
#include "workfolder.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <curl/curl.h>

#include <memory>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

const QString studyUid = QStringLiteral("1.2.826.0.13");
// What a local file holds; a client that read it would show or store this.
const QByteArray localSecret = R"({"rischeckserialnum":"LOCAL-SECRET","patientname":"LOCAL-SECRET"})";

// Every text the form shows.
QString shownTexts(const CloudPaientInfoForm& form)
{
    QStringList texts;
    for (const QLineEdit* line : form.findChildren<QLineEdit*>())
        texts << line->text();
    for (const QTextEdit* edit : form.findChildren<QTextEdit*>())
        texts << edit->toPlainText();
    for (const char* box : {"checkItemComboBox", "studyPositionComboBox"})
        texts << Access::items(form, box);
    return texts.join('|');
}

constexpr char tinyproxyPath[] = "/usr/bin/tinyproxy";
// The name the proxy puts in the Via header of what it forwards.
constexpr char viaName[] = "proxy-under-test";

// tinyproxy in the foreground on a free loopback port, stopped with the object.
struct LoopbackProxy
{
    QTemporaryDir dir;
    QProcess process;

    ~LoopbackProxy()
    {
        process.terminate();
        process.waitForFinished(5000);
    }

    // "http://127.0.0.1:<port>" once it accepts connections; empty when it did not come up.
    // A @p connectPort is the one port it tunnels to, as a hospital's proxy
    // allows CONNECT to 443 only; without one it tunnels to any.
    QString start(int connectPort = 0)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        const quint16 port = probe.serverPort();
        probe.close();
        const QString conf = dir.filePath(QStringLiteral("tinyproxy.conf"));
        const QString text = QStringLiteral("Port %1\nListen 127.0.0.1\nAllow 127.0.0.1\nLogFile \"%2/log\"\n"
                                            "PidFile \"%2/pid\"\nViaProxyName \"%3\"\n");
        const QString connect = connectPort ? QStringLiteral("ConnectPort %1\n").arg(connectPort) : QString();
        FormFiles::write(conf, (text.arg(port).arg(dir.path(), QLatin1String(viaName)) + connect).toUtf8());
        process.start(QLatin1String(tinyproxyPath), {QStringLiteral("-d"), QStringLiteral("-c"), conf});
        // It ends instead when, for one, someone took the port in between.
        process.waitForStarted();
        const bool settled = QTest::qWaitFor([&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            return process.state() != QProcess::Running || socket.waitForConnected(200);
        }, 10000);
        return settled && process.state() == QProcess::Running ? QStringLiteral("http://127.0.0.1:%1").arg(port) : QString();
    }

    QByteArray log() const { return FormFiles::read(dir.filePath(QStringLiteral("log"))); }
};

// Uploads one small image through a new task; its file counts once the task is gone.
QStringList uploadOneImage(const QString& image)
{
    UploadStudyProgressForm progress;
    return UploadStudyProgressFormTestAccess::upload(progress, {image}, QStringLiteral("Patient")).mid(2);
}

} // namespace

class TestTls : public QObject
{
    Q_OBJECT

    TestCertificateAuthority hospital;
    TestCertificateAuthority stranger{QStringLiteral("Somebody Else's CA")};

private slots:
    void init()
    {
        FormFiles::clear();
        work = std::make_unique<WorkFolder>();
        QVERIFY(work->isValid());
        db = std::make_unique<StudyDatabase>();
        studyKey = db->addStudy(db->addPatient(QStringLiteral("Old Name"), QStringLiteral("F")), studyUid);
    }

    void cleanup()
    {
        db.reset();
        work.reset();
        FormFiles::clear();
    }

    // Opening, saving and uploading over https; with a certificate that must
    // not be trusted each ends as with an unreachable cloud, and not one
    // request reaches the server. Through the operator's proxy plain http is
    // forwarded and https goes in a CONNECT tunnel that still checks the cloud.
    void studyOverHttps_data()
    {
        QTest::addColumn<QString>("certificate");  // "hospital", "stranger", "other host", "expired"; "": plain http
        QTest::addColumn<QString>("caFile");       // "hospital", "relative", "missing", "" (default store)
        QTest::addColumn<QByteArray>("failure");   // libcurl's reason; empty: all goes through
        QTest::addColumn<bool>("proxied");         // through tinyproxy, the operator's proxy
        const auto row = [](const char* tag, const char* certificate, const char* caFile, CURLcode failure,
                            bool proxied = false) {
            QTest::newRow(tag) << certificate << caFile << QByteArray(failure ? curl_easy_strerror(failure) : "") << proxied;
        };
        const CURLcode unverified = CURLE_PEER_FAILED_VERIFICATION;
        row("hospital CA", "hospital", "hospital", CURLE_OK);
        row("hospital CA, relative path", "hospital", "relative", CURLE_OK);
        row("another CA", "stranger", "hospital", unverified);
        row("wrong host name", "other host", "hospital", unverified);
        row("expired", "expired", "hospital", unverified);
        row("no caFile: default store", "hospital", "", unverified);
        row("caFile missing", "hospital", "missing", CURLE_SSL_CACERT_BADFILE);
        row("caFile missing, plain http", "", "missing", CURLE_SSL_CACERT_BADFILE);
        row("plain http through a proxy", "", "", CURLE_OK, true);
        row("hospital CA through a proxy", "hospital", "hospital", CURLE_OK, true);
        row("another CA through a proxy", "stranger", "hospital", unverified, true);
    }

    void studyOverHttps()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, caFile);
        QFETCH(QByteArray, failure);
        QFETCH(bool, proxied);
        TlsTestServer* tls = nullptr;
        const std::unique_ptr<TestServer> owner = [&]() -> std::unique_ptr<TestServer> {
            if (certificate.isEmpty())
                return std::make_unique<TestServer>();
            TestCertificateAuthority& issuer = certificate == "stranger" ? stranger : hospital;
            auto https = std::make_unique<TlsTestServer>(issuer.issue(
                certificate == "other host" ? QStringLiteral("cloud.hospital.example") : QStringLiteral("127.0.0.1"),
                certificate == "expired"));
            tls = https.get();
            return https;
        }();
        TestServer& server = *owner;
        QVERIFY(serveStudy(server));
        if (caFile == "relative")
            QVERIFY(QFile::copy(hospital.caFile(), FormFiles::dir("/config/hospital-ca.pem")));
        const QString ca = caFile == "hospital" ? hospital.caFile()
            : caFile == "relative"              ? QStringLiteral("hospital-ca.pem")
            : caFile == "missing"               ? hospital.caFile() + QStringLiteral(".gone")
                                                : QString();
        if (!ca.isEmpty())
            setCloudValue(QStringLiteral("cloud/caFile"), ca);
        const bool trusted = failure.isEmpty();
        LoopbackProxy proxy;
        if (proxied) {
            if (!QFileInfo::exists(QLatin1String(tinyproxyPath)))
                QSKIP("no /usr/bin/tinyproxy (Debian package tinyproxy) to route through");
            // Loopback exemptions would bypass a proxy set by the settings file alone.
            qunsetenv("NO_PROXY");
            qunsetenv("no_proxy");
            const QString url = proxy.start(tls ? server.port() : 0);
            QVERIFY2(!url.isEmpty(), qPrintable(proxy.process.errorString()));
            QVERIFY(FormFiles::write(FormFiles::proxyFile(), (url + "\nhttp\n\n").toUtf8().toBase64()));
        }

        MessageBoxAnswerer answerer;
        answerer.expect(trusted ? saveQuestion : lookupError);
        if (!trusted) {
            answerer.expect(saveQuestion);
            answerer.expect(netError);
        }
        CloudPaientInfoForm form;
        form.setStudyKey(studyKey);
        OutputCapture output;
        form.openStudy("sess-tls", studyUid);
        const QByteArray printed = output.release();
        QCOMPARE(form.isVisible(), trusted);
        QCOMPARE(Access::widget<QLineEdit>(form, "checkIDLineEdit")->text(), trusted ? "A123" : "");
        // Among whatever else Qt printed meanwhile.
        QCOMPARE(printed.contains("curl_easy_perform() failed: " + failure + '\n'), !trusted);

        Access::widget<QTextEdit>(form, "symptomTextEdit")->setPlainText(QStringLiteral("fever"));
        Access::widget<QPushButton>(form, "enterPushButton")->click();
        VERIFY_BOXES(answerer);
        // The backup is kept either way; only a trusted cloud has the record.
        QVERIFY(FormFiles::read(work->backupPath(studyUid)).contains("fever"));
        QCOMPARE(server.requests(modifyPath).size(), size_t(trusted));

        const QString image = work->filePath(QStringLiteral("image.dcm"));
        QVERIFY(FormFiles::write(image, "DICM image"));
        QCOMPARE(uploadOneImage(image), (trusted ? QStringList{"1", "1", "0"} : QStringList{"1", "0", "1"}));
        for (const RecordedRequest& request : server.requests())
            QVERIFY2(!proxied || tls || request.header("Via").rfind(std::string("1.1 ") + viaName, 0) == 0, request.target.c_str());
        // The proxy tunnelled every attempt.
        if (proxied && tls)
            QCOMPARE(proxy.log().count("CONNECT 127.0.0.1:" + QByteArray::number(server.port())), tls->handshakes());
        if (trusted) {
            QCOMPARE(server.requests(uploadPath).size(), size_t(1));
            QCOMPARE(server.requests(uploadPath)[0].parts.at(0).content, std::string("DICM image"));
            return;
        }
        QCOMPARE(server.requests().size(), size_t(0));
        // One attempt each for the lookup, the post and the file; none without a trust store.
        if (tls)
            QCOMPARE(tls->handshakes(), caFile == "missing" ? 0 : 3);
    }

    // Only http and https are spoken, also when a URL or a redirect names another scheme.
    void foreignScheme_data()
    {
        QTest::addColumn<QStringList>("keys");        // clouddata.ini keys that name the target
        QTest::addColumn<QStringList>("redirected");  // paths that answer 302 to the target
        QTest::addColumn<QString>("target");          // with the local file's path and a listener's port
        QTest::addColumn<QString>("box");
        const QStringList lookup{QString::fromStdString(lookupPath)};
        QTest::newRow("file:// in clouddata.ini") << QStringList{"cloud/getcheckNumCurl"} << QStringList()
                                                  << "file://{file}?" << lookupError;
        QTest::newRow("redirect to file://") << QStringList() << lookup << "file://{file}" << lookupError;
        QTest::newRow("redirect to ftp://") << QStringList() << lookup << "ftp://127.0.0.1:{port}/x" << lookupError;
        QTest::newRow("dictionaries redirected to file://")
            << QStringList() << QStringList{QString::fromStdString(checkItemPath), QString::fromStdString(positionPath)}
            << "file://{file}" << saveQuestion;
        QTest::newRow("upload to dict://") << QStringList{"cloud/assistUrl"} << QStringList()
                                           << "dict://127.0.0.1:{port}/x" << saveQuestion;
        // Over https, not even plain http: the query and the cookie would go out in the clear.
        QTest::newRow("https redirected to http://") << QStringList() << lookup << "https>http://127.0.0.1:{port}/x"
                                                     << lookupError;
    }

    void foreignScheme()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, redirected);
        QFETCH(QString, target);
        QFETCH(QString, box);
        const QString local = work->filePath(QStringLiteral("local.json"));
        QVERIFY(FormFiles::write(local, localSecret));
        const FaultServer listener(FaultServer::Garbage);
        // "https>": the cloud itself speaks https.
        const bool secure = target.startsWith(QLatin1String("https>"));
        const QString url = target.remove(QLatin1String("https>"))
                                .replace(QLatin1String("{file}"), local)
                                .replace(QLatin1String("{port}"), listener.url().section(':', -1));

        const std::unique_ptr<TestServer> owner = secure
            ? std::make_unique<TlsTestServer>(hospital.issue())
            : std::make_unique<TestServer>();
        TestServer& server = *owner;
        QVERIFY(serveStudy(server));
        for (const QString& path : redirected)
            server.setReply("GET", path.toStdString(), {302, "", "text/plain", url.toStdString(), false});
        if (secure)
            setCloudValue(QStringLiteral("cloud/caFile"), hospital.caFile());
        for (const QString& key : keys)
            setCloudValue(key, url);

        const QByteArray checkItemsBefore = FormFiles::read(FormFiles::checkItemFile());
        MessageBoxAnswerer answerer;
        answerer.expect(box);
        CloudPaientInfoForm form;
        form.setStudyKey(studyKey);
        form.openStudy("sess-x", studyUid);
        if (form.isVisible()) {
            Access::widget<QTextEdit>(form, "symptomTextEdit")->setPlainText(QStringLiteral("fever"));
            Access::widget<QPushButton>(form, "enterPushButton")->click();
        }
        VERIFY_BOXES(answerer);
        const QString image = work->filePath(QStringLiteral("image.dcm"));
        QVERIFY(FormFiles::write(image, "DICM image"));
        if (keys.contains(QStringLiteral("cloud/assistUrl")))
            QCOMPARE(uploadOneImage(image), (QStringList{"1", "0", "1"}));

        QCOMPARE(listener.connections(), 0);
        QVERIFY(!shownTexts(form).contains(QStringLiteral("LOCAL-SECRET")));
        for (const QString& file : {FormFiles::checkItemFile(), FormFiles::positionFile(), work->backupPath(studyUid)})
            QVERIFY2(!FormFiles::read(file).contains("LOCAL-SECRET"), qPrintable(file));
        if (!redirected.isEmpty() && box == saveQuestion)
            QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), checkItemsBefore);  // took nothing
    }

    // The workstation's own client against the cloud service, both over https.
    void workstationLogin_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("hospital CA") << "hospital" << true;
        QTest::newRow("another CA") << "stranger" << false;
    }

    void workstationLogin()
    {
        QFETCH(QString, certificate);
        QFETCH(bool, loggedIn);
        const QTemporaryDir data;
        CloudService service(data.path());
        const IssuedCertificate issued = (certificate == "stranger" ? stranger : hospital).issue();
        ServiceListener listener(service, issued.certFile, issued.keyFile);
        QVERIFY(listener.listen(QStringLiteral("127.0.0.1"), 0));
        CloudAccount account(QStringLiteral("https://127.0.0.1:%1").arg(listener.port()), 5, hospital.caFile());
        QCOMPARE(account.login(QStringLiteral("demo"), QStringLiteral("demo")), loggedIn);
        QCOMPARE(account.checkItemDictionary().has_value(), loggedIn);
        if (!loggedIn)
            QVERIFY2(account.errorString().contains(curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION)),
                     qPrintable(account.errorString()));
    }

    void serviceRefusesAKeyOfAnotherCertificate()
    {
        const QTemporaryDir data;
        CloudService service(data.path());
        const IssuedCertificate first = hospital.issue(), second = hospital.issue();
        ServiceListener listener(service, first.certFile, second.keyFile);
        QVERIFY(!listener.isValid());
        QVERIFY(!listener.listen(QStringLiteral("127.0.0.1"), 0));
    }

private:
    std::unique_ptr<WorkFolder> work;
    std::unique_ptr<StudyDatabase> db;
    qint64 studyKey = 0;
};

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
