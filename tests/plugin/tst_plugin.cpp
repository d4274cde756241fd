#include "cloudpatienthost.h"
#include "messageboxanswerer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGenericPlugin>
#include <QGenericPluginFactory>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QLineEdit>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString formKey = QStringLiteral("cloudpaientinfoform");

using InstanceFunction = QObject* (*)();

QString pluginPath()
{
    const QString fromEnv = qEnvironmentVariable("CLOUDPATIENT_PLUGIN");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath()
        + QStringLiteral("/../../../plugins/generic/libCloudPatientPlugin.so");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

class PluginTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void resourcesComeWithTheLibrary_data();
    void resourcesComeWithTheLibrary();
    void metaDataNamesTheFormKey();
    void createRefusesOtherKeys_data();
    void createRefusesOtherKeys();
    void createMakesIndependentHiddenForms();
    void instanceIsShared();
    void dictionariesReachTheirComboBox_data();
    void dictionariesReachTheirComboBox();
    void settersLeaveTheWidgetsAlone();
    void qtFactoryFindsThePlugin();
    void deletedInstanceIsMadeAgain();

private:
    QGenericPlugin* plugin() const;
    std::unique_ptr<QWidget> createForm() const;

    QLibrary library;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

QGenericPlugin* PluginTest::plugin() const
{
    QPluginLoader loader(library.fileName());
    return qobject_cast<QGenericPlugin*>(loader.instance());
}

std::unique_ptr<QWidget> PluginTest::createForm() const
{
    QGenericPlugin* factory = plugin();
    if (!factory)
        return nullptr;
    return std::unique_ptr<QWidget>(qobject_cast<QWidget*>(factory->create(formKey, QString())));
}

void PluginTest::initTestCase()
{
    // Nothing in this executable carries the icons: only the plug-in can bring them.
    QVERIFY(!QFile::exists(QStringLiteral(":/image/close-01-01.png")));

    answerer = std::make_unique<MessageBoxAnswerer>();

    // Empty but valid dictionaries, so that a new form starts without a warning.
    const QString config = QCoreApplication::applicationDirPath() + QStringLiteral("/../config");
    QVERIFY(QDir().mkpath(config));
    QVERIFY(writeFile(config + QStringLiteral("/cloudCheckItem.json"), "[]"));
    QVERIFY(writeFile(config + QStringLiteral("/cloudPositionItem.json"), "[]"));

    // CTest points QT_PLUGIN_PATH at the build's plug-in folder; run by hand, find it from the plug-in.
    if (qEnvironmentVariableIsEmpty("QT_PLUGIN_PATH"))
        QCoreApplication::addLibraryPath(QFileInfo(pluginPath()).absolutePath() + QStringLiteral("/.."));

    library.setFileName(pluginPath());
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    QVERIFY(library.resolve("qt_plugin_instance"));
    QVERIFY(library.resolve("qt_plugin_query_metadata"));
}

void PluginTest::cleanup()
{
    VERIFY_BOXES(*answerer);
}

void PluginTest::resourcesComeWithTheLibrary_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("close") << QStringLiteral(":/image/close-01-01.png") << QSize(20, 21);
    QTest::newRow("calendar") << QStringLiteral(":/image/calendar-01.png") << QSize(40, 40);
}

void PluginTest::resourcesComeWithTheLibrary()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    QVERIFY(QFile::exists(path));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
}

void PluginTest::metaDataNamesTheFormKey()
{
    QPluginLoader loader(library.fileName());
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(),
             QStringLiteral("org.qt-project.Qt.QGenericPluginFactoryInterface"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(), QStringLiteral("CloudPatientPlugin"));
    const QJsonArray keys = meta.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
    QCOMPARE(keys, QJsonArray{formKey});
}

void PluginTest::createRefusesOtherKeys_data()
{
    QTest::addColumn<QString>("key");

    QTest::newRow("capitalised") << QStringLiteral("CloudPaientInfoForm");
    QTest::newRow("upper case") << QStringLiteral("CLOUDPAIENTINFOFORM");
    QTest::newRow("spelled patient") << QStringLiteral("cloudpatientinfoform");
    QTest::newRow("empty") << QString();
    QTest::newRow("trailing blank") << QStringLiteral("cloudpaientinfoform ");
    QTest::newRow("prefix only") << QStringLiteral("cloudpaient");
}

void PluginTest::createRefusesOtherKeys()
{
    QFETCH(QString, key);

    QGenericPlugin* factory = plugin();
    QVERIFY(factory);
    const int windowsBefore = QApplication::topLevelWidgets().size();
    const std::unique_ptr<QObject> made(factory->create(key, QString()));
    QCOMPARE(made.get(), nullptr);
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
}

void PluginTest::createMakesIndependentHiddenForms()
{
    std::unique_ptr<QWidget> first = createForm();
    std::unique_ptr<QWidget> second = createForm();
    QVERIFY(first);
    QVERIFY(second);
    QVERIFY(first != second);

    for (QWidget* form : {first.get(), second.get()}) {
        QCOMPARE(form->parent(), nullptr);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->metaObject()->className(), "CloudPaientInfoForm");
        QVERIFY(dynamic_cast<CloudPatientHost*>(form));
    }

    // Each form has a widget tree of its own.
    QLineEdit* firstName = first->findChild<QLineEdit*>(QStringLiteral("patientNameLineEdit"));
    QLineEdit* secondName = second->findChild<QLineEdit*>(QStringLiteral("patientNameLineEdit"));
    QVERIFY(firstName && secondName);
    firstName->setText(QStringLiteral("A"));
    QCOMPARE(secondName->text(), QString());
}

void PluginTest::instanceIsShared()
{
    QPluginLoader one(library.fileName());
    QPluginLoader two(library.fileName());
    QObject* first = one.instance();
    QVERIFY(first);
    QCOMPARE(two.instance(), first);
    auto instance = reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
    QCOMPARE(instance(), first);
}

void PluginTest::dictionariesReachTheirComboBox_data()
{
    QTest::addColumn<bool>("positions");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("warning");

    QTest::newRow("check items")
        << false
        << QStringLiteral(R"([{"checkitemid":"11","checkitem":"CT 平扫"},{"checkitemid":"12","checkitem":"MR"}])")
        << QStringList{QStringLiteral("CT 平扫"), QStringLiteral("MR")} << QString();
    QTest::newRow("positions")
        << true
        << QStringLiteral(R"([{"positiontypeid":"3","positiontypename":"头部"}])")
        << QStringList{QStringLiteral("头部")} << QString();
    QTest::newRow("empty check items") << false << QStringLiteral("[]") << QStringList() << QString();
    QTest::newRow("broken check items")
        << false << QStringLiteral("[{") << QStringList() << QStringLiteral("CheckItem Json transform error!");
    QTest::newRow("broken positions")
        << true << QStringLiteral("not json") << QStringList() << QStringLiteral("PositionType Json transform error!");
}

void PluginTest::dictionariesReachTheirComboBox()
{
    QFETCH(bool, positions);
    QFETCH(QString, json);
    QFETCH(QStringList, items);
    QFETCH(QString, warning);

    std::unique_ptr<QWidget> form = createForm();
    QVERIFY(form);
    auto* host = dynamic_cast<CloudPatientHost*>(form.get());
    QVERIFY(host);
    auto* checkItems = form->findChild<QComboBox*>(QStringLiteral("checkItemComboBox"));
    auto* studyPositions = form->findChild<QComboBox*>(QStringLiteral("studyPositionComboBox"));
    QVERIFY(checkItems && studyPositions);
    QComboBox* target = positions ? studyPositions : checkItems;
    QComboBox* other = positions ? checkItems : studyPositions;
    const QStringList otherBefore = itemsOf(other);

    if (!warning.isEmpty())
        answerer->expect(warning);
    if (positions)
        host->loadPositions(json);
    else
        host->loadCheckItems(json);
    QVERIFY(answerer->waitUntilAnswered());

    QCOMPARE(itemsOf(target), items);
    QCOMPARE(itemsOf(other), otherBefore);
    QVERIFY(!form->isVisible());
}

void PluginTest::settersLeaveTheWidgetsAlone()
{
    std::unique_ptr<QWidget> form = createForm();
    QVERIFY(form);
    auto* host = dynamic_cast<CloudPatientHost*>(form.get());
    QVERIFY(host);

    QStringList before;
    const QList<QLineEdit*> edits = form->findChildren<QLineEdit*>();
    for (const QLineEdit* edit : edits)
        before << edit->objectName() + QLatin1Char('=') + edit->text();

    host->setStudyKey(42);
    host->setPatientName(QStringLiteral("张三"));
    host->setStudyUid(QStringLiteral("1.2.840.113619.2.55.3"));
    host->setSessionId(QByteArray("ab\0cd", 5));
    host->setJoinedText(QStringLiteral("a"), QStringLiteral("b"));
    host->setTextPair(QString(), QStringLiteral("second"));
    host->setExtraText(QStringLiteral("extra"));

    // The host's context is stored, not shown: the form stays hidden and its
    // fields keep what they had until a study is opened.
    QStringList after;
    for (const QLineEdit* edit : edits)
        after << edit->objectName() + QLatin1Char('=') + edit->text();
    QCOMPARE(after, before);
    QVERIFY(!form->isVisible());
}

void PluginTest::qtFactoryFindsThePlugin()
{
    QVERIFY(QGenericPluginFactory::keys().contains(formKey));

    std::unique_ptr<QObject> made(QGenericPluginFactory::create(formKey, QString()));
    QVERIFY(made);
    auto* host = dynamic_cast<CloudPatientHost*>(made.get());
    QVERIFY(host);
    QCOMPARE(host->parent(), nullptr);
    QVERIFY(!host->isVisible());
}

void PluginTest::deletedInstanceIsMadeAgain()
{
    auto instance = reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
    QVERIFY(instance);
    QObject* old = instance();
    QVERIFY(old);
    old->setProperty("tst_marker", true);
    QSignalSpy destroyed(old, &QObject::destroyed);
    delete old;
    QCOMPARE(destroyed.count(), 1);

    // The same address may come back from the allocator, so tell the objects
    // apart by the marker only the old one carried.
    QObject* fresh = instance();
    QVERIFY(fresh);
    QVERIFY(!fresh->property("tst_marker").isValid());
    QCOMPARE(fresh->metaObject()->className(), "CloudPatientPlugin");
    QCOMPARE(instance(), fresh);

    auto* factory = qobject_cast<QGenericPlugin*>(fresh);
    QVERIFY(factory);
    std::unique_ptr<QObject> form(factory->create(formKey, QString()));
    QVERIFY(dynamic_cast<CloudPatientHost*>(form.get()));
}

QTEST_MAIN(PluginTest)
#include "tst_plugin.moc"
