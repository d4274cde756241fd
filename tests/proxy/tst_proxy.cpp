#include "cloudpaientinfoform.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "proxyconfigform.h"
#include "testcertificateauthority.h"
#include "tlstestserver.h"
#include "uploadaccess.h"
#include "uploadtask.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

namespace {

// Fills the four fields in the form's order and clicks @p button; answers the texts the fields then hold.
QStringList fillAndClick(ProxyConfigForm& form, const QStringList& texts, const char* button)
{
    const QList<QLineEdit*> fields = form.findChildren<QLineEdit*>();
    for (int i = 0; i < fields.size(); ++i)
        fields[i]->setText(texts.value(i));
    QTest::mouseClick(form.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    QStringList after;
    for (const QLineEdit* field : fields)
        after << field->text();
    return after;
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

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT

    MessageBoxAnswerer answerer;  // the form shows no boxes; one appearing fails the test

private slots:
    void save_data()
    {
        QTest::addColumn<QByteArray>("before");  // the file's content before; empty: none, "-": no folder
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("empty fields replace a longer file") << QByteArray(300, 'A') << QStringList{"", "", "", ""}
                                                            << QByteArray("CgoK");
        QTest::newRow("non-ASCII as UTF-8")
            << QByteArray("CgoK") << QStringList{"192.168.0.9:1080", "sock5", "代理用户", "Pässwörd:€"}
            << QByteArray("MTkyLjE2OC4wLjk6MTA4MApzb2NrNQrku6PnkIbnlKjmiLcKUMOkc3N3w7ZyZDrigqw=");
        QTest::newRow("taken as typed") << QByteArray() << QStringList{"  a ", "", "", "b"} << QByteArray("ICBhIAoKCmI=");
        QTest::newRow("no folder: quietly nothing") << QByteArray("-") << QStringList{"p", "http", "", ""} << QByteArray();
    }

    void save()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, saved);
        const QString folder = FormFiles::dir("/../config");
        QFile file(folder + QStringLiteral("/proxy.txt"));
        QVERIFY(QDir(folder).removeRecursively() && (before == "-" || QDir().mkpath(folder)));
        if (before != "-" && !before.isEmpty())
            QVERIFY(FormFiles::write(file.fileName(), before) && file.setPermissions(QFile::ReadOwner | QFile::ReadOther));
        ProxyConfigForm form;
        form.show();
        QCOMPARE(fillAndClick(form, texts, "save"), texts);
        // Cancel leaves the fields as edited and the file as saved.
        const QStringList edited{"q:2", "sock4", "v", "other"};
        QCOMPARE(fillAndClick(form, edited, "cancel"), edited);
        QVERIFY(form.isVisible());
        VERIFY_BOXES(answerer);
        QCOMPARE(file.open(QIODevice::ReadOnly), !saved.isEmpty());
        QCOMPARE(file.readAll(), saved);
        QCOMPARE(QFileInfo::exists(folder), before != "-");
        if (saved.isEmpty())
            return;
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());  // a password
        // The cloud client reads the lines back in the form's field order.
        const HttpUploadFile* client = HttpUploadFile::instance();
        QCOMPARE((QStringList{client->getProxyURL(), client->getProxyType(), client->getProxyUser(),
                              client->getProxyPassword()}),
                 texts);
    }

    // An operator saves a proxy; the next form's requests and the next upload go through it.
    void savedProxyIsUsed()
    {
        using namespace formcloud;
        if (!QFileInfo::exists(QLatin1String(tinyproxyPath)))
            QSKIP("no /usr/bin/tinyproxy (Debian package tinyproxy) to route through");
        // Loopback exemptions would bypass a proxy set by the settings file alone.
        qunsetenv("NO_PROXY");
        qunsetenv("no_proxy");
        FormFiles::clear();
        TestServer server;
        QVERIFY(FormFiles::writeDictionaries() && FormFiles::writeEndpoints(server.url()));
        server.setReply("GET", lookupPath, scripted(R"({"rischeckserialnum":"A123"})"));
        server.setReply("GET", recordPath, scripted(fullRecord));
        server.setReply("POST", uploadPath, scripted(R"({"rischeckserialnum":"A123"})"));

        LoopbackProxy proxy;
        const QString proxyUrl = proxy.start();
        QVERIFY2(!proxyUrl.isEmpty(), qPrintable(proxy.process.errorString()));
        ProxyConfigForm settings;
        settings.show();
        const QStringList typed{proxyUrl, QStringLiteral("http"), QString(), QString()};
        QCOMPARE(fillAndClick(settings, typed, "save"), typed);

        CloudPaientInfoForm form;
        form.openStudy("sess-1", QStringLiteral("1.2.3"));

        const QString image = proxy.dir.filePath(QStringLiteral("im1.dcm"));
        QVERIFY(FormFiles::write(image, "DICM"));
        UploadStudyProgressForm* progress = UploadStudyProgressForm::getInstance();
        const auto handler = UploadStudyProgressFormTestAccess::record(*progress);
        progress->addUploadTask({image}, QStringLiteral("Proxied"), QByteArray());
        // finshTask has been handled once the progress form has deleted the task.
        QTRY_VERIFY_WITH_TIMEOUT(handler->tasks.size() == 1 && handler->tasks[0].isNull(), 20000);
        VERIFY_BOXES(answerer);

        // Lookup and record of the open, and the upload; a form acts only on uploads it started.
        std::string received;
        for (const RecordedRequest& request : server.requests()) {
            QVERIFY2(request.header("Via").rfind(std::string("1.1 ") + viaName, 0) == 0, request.target.c_str());
            received += request.method + ' ' + request.path + ';';
        }
        QCOMPARE(received, "GET " + lookupPath + ";GET " + recordPath + ";POST " + uploadPath + ';');
    }

    // Through an HTTP proxy, https goes in a CONNECT tunnel and the cloud's certificate is still checked.
    void httpsThroughProxy_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("hospital CA") << true;
        QTest::newRow("another CA") << false;
    }

    void httpsThroughProxy()
    {
        using namespace formcloud;
        QFETCH(bool, trusted);
        if (!QFileInfo::exists(QLatin1String(tinyproxyPath)))
            QSKIP("no /usr/bin/tinyproxy (Debian package tinyproxy) to route through");
        qunsetenv("NO_PROXY");
        qunsetenv("no_proxy");
        FormFiles::clear();
        TestCertificateAuthority hospital, stranger(QStringLiteral("Somebody Else's CA"));
        TlsTestServer server((trusted ? hospital : stranger).issue());
        QVERIFY(FormFiles::writeDictionaries() && FormFiles::writeEndpoints(server.url()));
        QSettings(FormFiles::dir("/config/clouddata.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("cloud/caFile"), hospital.caFile());
        server.setReply("GET", lookupPath, scripted(R"({"rischeckserialnum":"A123"})"));
        server.setReply("GET", recordPath, scripted(fullRecord));
        server.setReply("POST", uploadPath, scripted(R"({"rischeckserialnum":"A123"})"));

        LoopbackProxy proxy;
        const QString proxyUrl = proxy.start(server.port());
        QVERIFY2(!proxyUrl.isEmpty(), qPrintable(proxy.process.errorString()));
        ProxyConfigForm settings;
        const QStringList typed{proxyUrl, QStringLiteral("http"), QString(), QString()};
        QCOMPARE(fillAndClick(settings, typed, "save"), typed);

        if (!trusted)
            answerer.expect(QStringLiteral("CheckSerialNum Query Error!"));
        CloudPaientInfoForm form;
        form.openStudy("sess-1", QStringLiteral("1.2.3"));
        QCOMPARE(form.isVisible(), trusted);
        const QString image = proxy.dir.filePath(QStringLiteral("im1.dcm"));
        QVERIFY(FormFiles::write(image, "DICM"));
        UploadStudyProgressForm* progress = UploadStudyProgressForm::getInstance();
        const auto handler = UploadStudyProgressFormTestAccess::record(*progress);
        progress->addUploadTask({image}, QString::fromLatin1(QTest::currentDataTag()), QByteArray());
        QTRY_VERIFY_WITH_TIMEOUT(handler->tasks.size() == 1 && handler->tasks[0].isNull(), 20000);
        VERIFY_BOXES(answerer);

        // The lookup and the upload went through, or nothing at all; the proxy tunnelled every attempt.
        QCOMPARE(server.requests(lookupPath).size() + server.requests(uploadPath).size(), size_t(trusted ? 2 : 0));
        QCOMPARE(server.requests().empty(), !trusted);
        QCOMPARE(UploadStudyProgressFormTestAccess::rows(*progress).constLast().mid(3),
                 (trusted ? QStringList{"1", "0"} : QStringList{"0", "1"}));
        const QByteArray connect = "CONNECT 127.0.0.1:" + QByteArray::number(server.port());
        QVERIFY(server.handshakes() >= 2);
        QCOMPARE(proxy.log().count(connect), server.handshakes());
    }
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
