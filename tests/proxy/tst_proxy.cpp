#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "proxyconfigform.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

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
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
