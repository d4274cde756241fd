#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "proxyconfigform.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString configFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../config");
}

QString proxyFile()
{
    return configFolder() + QStringLiteral("/proxy.txt");
}

QByteArray proxyFileContent()
{
    QFile file(proxyFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeProxyFile(const QByteArray& content)
{
    QFile file(proxyFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

mode_t proxyFileMode()
{
    struct stat info = {};
    return ::stat(QFile::encodeName(proxyFile()).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

QList<QLineEdit*> fieldsOf(ProxyConfigForm& form)
{
    return form.findChildren<QLineEdit*>();
}

QStringList textsOf(ProxyConfigForm& form)
{
    QStringList texts;
    for (QLineEdit* field : fieldsOf(form))
        texts << field->text();
    return texts;
}

// Types @p texts into the four fields, in the form's order, like an operator.
void typeInto(ProxyConfigForm& form, const QStringList& texts)
{
    const QList<QLineEdit*> fields = fieldsOf(form);
    QCOMPARE(fields.size(), 4);
    QCOMPARE(texts.size(), 4);
    for (int i = 0; i < 4; ++i) {
        fields[i]->clear();
        // keyClicks knows only Latin-1 keys; a key event carrying the text
        // is what an input method delivers for any character.
        for (const QChar c : texts[i])
            QTest::sendKeyEvent(QTest::Click, fields[i], Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(fields[i]->text(), texts[i]);
    }
}

void click(ProxyConfigForm& form, const char* button)
{
    auto* pushButton = form.findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(pushButton, button);
    QTest::mouseClick(pushButton, Qt::LeftButton);
}

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetTree();
    void savesBase64_data();
    void savesBase64();
    void savingTwiceReplaces();
    void ownerOnly_data();
    void ownerOnly();
    void cancelChangesNothing();
    void missingFolderIsQuiet();
    void readBackByCloudClient_data();
    void readBackByCloudClient();

private:
    // The form shows no boxes; one appearing fails the test.
    MessageBoxAnswerer* answerer = nullptr;
};

void TestProxy::init()
{
    QVERIFY(QDir().mkpath(configFolder()));
    QFile::remove(proxyFile());
    answerer = new MessageBoxAnswerer(this);
}

void TestProxy::cleanup()
{
    VERIFY_BOXES(*answerer);
    delete answerer;
    answerer = nullptr;
    QFile::remove(proxyFile());
}

void TestProxy::widgetTree()
{
    ProxyConfigForm form;
    const QList<QLineEdit*> fields = fieldsOf(form);
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields[3]->echoMode(), QLineEdit::Password);
    QVERIFY(form.findChild<QPushButton*>(QStringLiteral("save")));
    QVERIFY(form.findChild<QPushButton*>(QStringLiteral("cancel")));
}

void TestProxy::savesBase64_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("base64");

    QTest::newRow("http proxy") << QStringList{"http://10.1.1.1:3128", "http", "ana", "s3cret"}
                                << QByteArray("aHR0cDovLzEwLjEuMS4xOjMxMjgKaHR0cAphbmEKczNjcmV0");
    QTest::newRow("four empty fields") << QStringList{"", "", "", ""} << QByteArray("CgoK");
    QTest::newRow("non-ASCII as UTF-8")
        << QStringList{"192.168.0.9:1080", "sock5", QStringLiteral("代理用户"), QStringLiteral("Pässwörd:€")}
        << QByteArray("MTkyLjE2OC4wLjk6MTA4MApzb2NrNQrku6PnkIbnlKjmiLcKUMOkc3N3w7ZyZDrigqw=");
    QTest::newRow("taken as typed") << QStringList{"  a ", "", "", "b"} << QByteArray("ICBhIAoKCmI=");
    // Longer than a MIME line: still one line.
    QTest::newRow("long")
        << QStringList{"http://proxy.example.internal.hospital.local:8080", "http", "department-of-radiology",
                       "correct horse battery staple"}
        << QByteArray("aHR0cDovL3Byb3h5LmV4YW1wbGUuaW50ZXJuYWwuaG9zcGl0YWwubG9jYWw6ODA4MApodHRwCmRlcGFydG1l"
                      "bnQtb2YtcmFkaW9sb2d5CmNvcnJlY3QgaG9yc2UgYmF0dGVyeSBzdGFwbGU=");
}

void TestProxy::savesBase64()
{
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, base64);

    ProxyConfigForm form;
    form.show();
    typeInto(form, texts);
    click(form, "save");

    QCOMPARE(proxyFileContent(), base64);
    QVERIFY(form.isVisible());
    QCOMPARE(textsOf(form), texts);
}

void TestProxy::savingTwiceReplaces()
{
    ProxyConfigForm form;
    typeInto(form, {"http://a-much-longer-proxy-address.local:3128", "http_1_0", "someone", "something"});
    click(form, "save");
    typeInto(form, {"p:1", "sock4", "", ""});
    click(form, "save");

    QCOMPARE(proxyFileContent(), QByteArray("cDoxCnNvY2s0Cgo="));
}

void TestProxy::ownerOnly_data()
{
    QTest::addColumn<bool>("existedOpen");

    QTest::newRow("new file") << false;
    QTest::newRow("older file readable by all") << true;
}

void TestProxy::ownerOnly()
{
    QFETCH(bool, existedOpen);

    if (existedOpen) {
        writeProxyFile("CgoK");
        QVERIFY(QFile::setPermissions(proxyFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                       | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QCOMPARE(proxyFileMode(), mode_t(0644));
    }
    ProxyConfigForm form;
    typeInto(form, {"p:1", "http", "u", "secret"});
    click(form, "save");

    QCOMPARE(proxyFileContent(), QByteArray("cDoxCmh0dHAKdQpzZWNyZXQ="));
    QCOMPARE(proxyFileMode(), mode_t(0600));
}

void TestProxy::cancelChangesNothing()
{
    ProxyConfigForm form;
    form.show();
    typeInto(form, {"p:1", "http", "u", "secret"});
    click(form, "save");
    const QStringList edited{"q:2", "sock5", "v", "other"};
    typeInto(form, edited);

    click(form, "cancel");

    QCOMPARE(proxyFileContent(), QByteArray("cDoxCmh0dHAKdQpzZWNyZXQ="));
    QCOMPARE(textsOf(form), edited);
    QVERIFY(form.isVisible());
}

void TestProxy::missingFolderIsQuiet()
{
    QVERIFY(QDir(configFolder()).removeRecursively());
    ProxyConfigForm form;
    typeInto(form, {"p:1", "http", "u", "secret"});

    click(form, "save");

    QVERIFY(!QFileInfo::exists(configFolder()));
    QCOMPARE(textsOf(form), QStringList({"p:1", "http", "u", "secret"}));
}

void TestProxy::readBackByCloudClient_data()
{
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("http with credentials") << QStringList{"http://10.1.1.1:3128", "http", "ana", "pa:ss word"};
    QTest::newRow("socks without credentials") << QStringList{"10.0.0.2:1080", "sock5", "", ""};
    QTest::newRow("non-ASCII") << QStringList{"proxy.local:80", "http_1_0", QStringLiteral("Zoë"),
                                              QStringLiteral("密码€")};
    QTest::newRow("all empty") << QStringList{"", "", "", ""};
}

void TestProxy::readBackByCloudClient()
{
    QFETCH(QStringList, texts);

    ProxyConfigForm form;
    typeInto(form, texts);
    click(form, "save");

    const HttpUploadFile* client = HttpUploadFile::instance();
    QCOMPARE(client->getProxyURL(), texts[0]);
    QCOMPARE(client->getProxyType(), texts[1]);
    QCOMPARE(client->getProxyUser(), texts[2]);
    QCOMPARE(client->getProxyPassword(), texts[3]);
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
