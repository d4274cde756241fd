#include "cloudpaientinfoform.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "proxyconfigform.h"
#include "testcertificateauthority.h"
#include "tlstestserver.h"
#include "uploadaccess.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
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

    // An operator saves a proxy; the next form's requests and the next upload go through it: plain http
    // forwarded, https in a CONNECT tunnel that still checks the cloud's certificate.
    void savedProxyIsUsed_data()
    {
        QTest::addColumn<QString>("certificate");  // empty: plain http
        QTest::newRow("http") << "";
        QTest::newRow("https, hospital CA") << "hospital";
        QTest::newRow("https, another CA") << "stranger";
    }

    void savedProxyIsUsed()
    {
        using namespace formcloud;
        QFETCH(QString, certificate);
        if (!QFileInfo::exists(QLatin1String(tinyproxyPath)))
            QSKIP("no /usr/bin/tinyproxy (Debian package tinyproxy) to route through");
        // Loopback exemptions would bypass a proxy set by the settings file alone.
        qunsetenv("NO_PROXY");
        qunsetenv("no_proxy");
        TestCertificateAuthority hospital, stranger(QStringLiteral("Somebody Else's CA"));
        const bool tls = !certificate.isEmpty(), trusted = certificate != "stranger";
        const std::unique_ptr<TestServer> server =
            tls ? std::make_unique<TlsTestServer>((trusted ? hospital : stranger).issue()) : std::make_unique<TestServer>();
        QVERIFY(serveStudy(*server));
        if (tls)
            setCloudValue(QStringLiteral("cloud/caFile"), hospital.caFile());

        LoopbackProxy proxy;
        const QString proxyUrl = proxy.start(tls ? server->port() : 0);
        QVERIFY2(!proxyUrl.isEmpty(), qPrintable(proxy.process.errorString()));
        ProxyConfigForm settings;
        settings.show();
        const QStringList typed{proxyUrl, QStringLiteral("http"), QString(), QString()};
        QCOMPARE(fillAndClick(settings, typed, "save"), typed);

        if (!trusted)
            answerer.expect(lookupError);
        CloudPaientInfoForm form;
        form.openStudy("sess-1", QStringLiteral("1.2.3"));
        QCOMPARE(form.isVisible(), trusted);
        const QString image = proxy.dir.filePath(QStringLiteral("im1.dcm"));
        QVERIFY(FormFiles::write(image, "DICM"));
        QCOMPARE(UploadStudyProgressFormTestAccess::upload(*UploadStudyProgressForm::getInstance(), {image},
                                                           QString::fromLatin1(QTest::currentDataTag()))
                     .mid(3),
                 (trusted ? QStringList{"1", "0"} : QStringList{"0", "1"}));
        VERIFY_BOXES(answerer);

        // Lookup and record of the open, and the upload, or nothing; a form acts only on uploads it started.
        std::string received;
        for (const RecordedRequest& request : server->requests()) {
            QVERIFY2(tls || request.header("Via").rfind(std::string("1.1 ") + viaName, 0) == 0, request.target.c_str());
            received += request.method + ' ' + request.path + ';';
        }
        QCOMPARE(received, trusted ? "GET " + lookupPath + ";GET " + recordPath + ";POST " + uploadPath + ';' : "");
        if (tls) {
            // The proxy tunnelled every attempt.
            const int handshakes = static_cast<const TlsTestServer&>(*server).handshakes();
            QVERIFY(handshakes >= 2);
            QCOMPARE(proxy.log().count("CONNECT 127.0.0.1:" + QByteArray::number(server->port())), handshakes);
        }
    }
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
