#include <cloudpatient/cloudpatienthost.h>
#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "testserver.h"

#include <QComboBox>
#include <QFile>
#include <QGenericPlugin>
#include <QGenericPluginFactory>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QLineEdit>
#include <QPluginLoader>
#include <QScopeGuard>
#include <QTest>

#include <memory>

const QString formKey = QStringLiteral("cloudpaientinfoform");

// Loads the plug-in at run time, as a host does.
class PluginTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void metaDataAndResources();
    void createRefusesOtherKeys_data();
    void createRefusesOtherKeys();
    void createMakesIndependentHiddenForms();
    void hostInterface();
    void instanceIsSharedUntilDeleted();

private:
    std::unique_ptr<QObject> create(const QString& key) const;

    QLibrary library;
    MessageBoxAnswerer answerer;
};

void PluginTest::initTestCase()
{
    // Nothing in this executable carries the icons: only the plug-in can bring them.
    QVERIFY(!QFile::exists(QStringLiteral(":/image/close-01-01.png")));
    // Empty dictionaries, so that a new form starts without a warning.
    QVERIFY(FormFiles::writeDictionaries("[]", "[]"));
    // CTest names the plug-in file and puts its folder on Qt's plug-in path.
    library.setFileName(qEnvironmentVariable("CLOUDPATIENT_PLUGIN"));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
}

void PluginTest::cleanup()
{
    VERIFY_BOXES(answerer);
}

std::unique_ptr<QObject> PluginTest::create(const QString& key) const
{
    auto* factory = qobject_cast<QGenericPlugin*>(QPluginLoader(library.fileName()).instance());
    return std::unique_ptr<QObject>(factory ? factory->create(key, QString()) : nullptr);
}

void PluginTest::metaDataAndResources()
{
    const QJsonObject meta = QPluginLoader(library.fileName()).metaData();
    QCOMPARE(meta.value("IID").toString(), QStringLiteral("org.qt-project.Qt.QGenericPluginFactoryInterface"));
    QCOMPARE(meta.value("className").toString(), QStringLiteral("CloudPatientPlugin"));
    QCOMPARE(meta.value("MetaData").toObject().value("Keys").toArray(), QJsonArray{formKey});
    QCOMPARE(QImage(QStringLiteral(":/image/close-01-01.png")).size(), QSize(20, 21));
    QCOMPARE(QImage(QStringLiteral(":/image/calendar-01.png")).size(), QSize(40, 40));

    // Qt's own factory finds the key through the metadata.
    QVERIFY(QGenericPluginFactory::keys().contains(formKey));
    const std::unique_ptr<QObject> made(QGenericPluginFactory::create(formKey, QString()));
    QVERIFY(dynamic_cast<CloudPatientHost*>(made.get()));
}

void PluginTest::createRefusesOtherKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("capitalised") << "CloudPaientInfoForm";
    QTest::newRow("spelled patient") << "cloudpatientinfoform";
    QTest::newRow("trailing blank") << "cloudpaientinfoform ";
    QTest::newRow("empty") << "";
}

void PluginTest::createRefusesOtherKeys()
{
    QFETCH(QString, key);
    QVERIFY(create(formKey));
    QCOMPARE(create(key).get(), nullptr);
}

void PluginTest::createMakesIndependentHiddenForms()
{
    const std::unique_ptr<QObject> first = create(formKey), second = create(formKey);
    QVERIFY(first && second && first != second);
    for (const QObject* made : {first.get(), second.get()}) {
        const auto* form = dynamic_cast<const CloudPatientHost*>(made);
        QVERIFY(form && !form->parent() && !form->isVisible());
    }
    first->findChild<QLineEdit*>(QStringLiteral("patientNameLineEdit"))->setText(QStringLiteral("A"));
    QCOMPARE(second->findChild<QLineEdit*>(QStringLiteral("patientNameLineEdit"))->text(), QString());
}

void PluginTest::hostInterface()
{
    // Through the virtual table alone, each operation reaches its own target.
    TestServer server;
    QVERIFY(FormFiles::writeEndpoints(server.url()));
    const auto noEndpoints = qScopeGuard([] { QFile::remove(FormFiles::dir("/config/clouddata.ini")); });
    const std::unique_ptr<QObject> made = create(formKey);
    auto* host = dynamic_cast<CloudPatientHost*>(made.get());
    QVERIFY(host);
    host->loadCheckItems(QStringLiteral(R"([{"checkitemid":"11","checkitem":"CT 平扫"}])"));
    host->loadPositions(QStringLiteral(R"([{"positiontypeid":"3","positiontypename":"头部"}])"));
    QCOMPARE(host->findChild<QComboBox*>(QStringLiteral("checkItemComboBox"))->currentText(), QStringLiteral("CT 平扫"));
    QCOMPARE(host->findChild<QComboBox*>(QStringLiteral("studyPositionComboBox"))->currentText(), QStringLiteral("头部"));

    // The host's context reaches the form, and is not shown. The session id
    // goes out as the cookie of the form's next request, up to its zero byte.
    host->setStudyKey(42);
    host->setPatientName(QStringLiteral("张三"));
    host->setStudyUid(QStringLiteral("1.2.840.113619.2.55.3"));
    host->setSessionId(QByteArray("ab\0cd", 5));
    host->setJoinedText(QStringLiteral("a"), QStringLiteral("b"));
    host->setTextPair(QString(), QStringLiteral("second"));
    host->setExtraText(QStringLiteral("extra"));
    QCOMPARE(host->findChild<QLineEdit*>(QStringLiteral("patientNameLineEdit"))->text(), QString());
    QVERIFY(!host->isVisible());
    // The plug-in is not linked: its class is read through its header alone.
    QCOMPARE(CloudPaientInfoFormTestAccess::hostTexts(*static_cast<CloudPaientInfoForm*>(host)),
             QStringLiteral("a b||second|extra"));
    QVERIFY(QMetaObject::invokeMethod(host, "onCheckNum", Q_ARG(QByteArray, R"({"rischeckserialnum":"S1"})")));
    const auto records = server.requests(formcloud::recordPath);
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records[0].target, formcloud::recordPath + "?checkserialnum=S1");
    QCOMPARE(records[0].header("Cookie"), std::string("JSESSIONID=ab"));
}

void PluginTest::instanceIsSharedUntilDeleted()
{
    using InstanceFunction = QObject* (*)();
    const auto instance = reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
    QVERIFY(instance);
    QObject* old = instance();
    QCOMPARE(QPluginLoader(library.fileName()).instance(), old);
    QCOMPARE(instance(), old);

    // The same address may come back from the allocator, so tell the objects
    // apart by a mark only the old one carries.
    old->setProperty("tst_marker", true);
    delete old;
    QObject* fresh = instance();
    QVERIFY(fresh && !fresh->property("tst_marker").isValid());
    QCOMPARE(instance(), fresh);
    const std::unique_ptr<QObject> form(qobject_cast<QGenericPlugin*>(fresh)->create(formKey, QString()));
    QVERIFY(dynamic_cast<CloudPatientHost*>(form.get()));
}

QTEST_MAIN(PluginTest)
#include "tst_plugin.moc"
