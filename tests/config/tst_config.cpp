#include "formconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

QString ownFolder()
{
    return appDir() + QStringLiteral("/config/");
}

QString besideFolder()
{
    return appDir() + QStringLiteral("/../config/");
}

void writeFile(const QString& folder, const QString& name, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + name);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.fileName()));
    QCOMPARE(file.write(content), qint64(content.size()));
    QVERIFY(file.flush());
    // QSettings reuses a cached parse while size and modification time match;
    // rewrites in quick succession would otherwise read as the old content.
    static int rewrites = 0;
    const QDateTime stamp = QDateTime::currentDateTimeUtc().addSecs(-3600 + ++rewrites);
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
}

// Puts @p name into the folders whose content is not empty.
void writeSettings(const QString& name, const QByteArray& own, const QByteArray& beside)
{
    if (!own.isEmpty())
        writeFile(ownFolder(), name, own);
    if (!beside.isEmpty())
        writeFile(besideFolder(), name, beside);
}

CloudEndpoints marked()
{
    CloudEndpoints endpoints;
    endpoints.positionUrl = QStringLiteral("p");
    endpoints.checkItemUrl = QStringLiteral("c");
    endpoints.modifyUrl = QStringLiteral("m");
    endpoints.checkNumUrl = QStringLiteral("n");
    endpoints.studyInfoUrl = QStringLiteral("s");
    endpoints.requestTimeout = 9;
    return endpoints;
}

QStringList urls(const CloudEndpoints& e)
{
    return {e.positionUrl, e.checkItemUrl, e.modifyUrl, e.checkNumUrl, e.studyInfoUrl};
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void defaults();
    void noFileChangesNothing();
    void findSettingsFile_data();
    void findSettingsFile();
    void readEndpoints_data();
    void readEndpoints();
    void requestTimeout_data();
    void requestTimeout();
    void calendarSwitch_data();
    void calendarSwitch();
};

void TestConfig::cleanup()
{
    for (const QString& folder : {ownFolder(), besideFolder()}) {
        for (const QString& name : {QStringLiteral("clouddata.ini"), QStringLiteral("main.ini")}) {
            QFile::remove(folder + name);
            QVERIFY(!QFileInfo::exists(folder + name));
        }
    }
}

void TestConfig::defaults()
{
    const CloudEndpoints e = defaultEndpoints();
    QCOMPARE(e.positionUrl, QStringLiteral("http://127.0.0.1:8082/kelva/patientmanagerform/getPosition.do"));
    QCOMPARE(e.checkItemUrl, QStringLiteral("http://127.0.0.1:8082/kelva/patientmanagerform/getCheckitem.do"));
    QCOMPARE(e.modifyUrl, QStringLiteral("http://127.0.0.1:8082/kelva/individual/modifyStudyInfo.do"));
    QCOMPARE(e.checkNumUrl, QStringLiteral("http://127.0.0.1:8082/kelva/individual/findCheckNum4Unique?"));
    QCOMPARE(e.studyInfoUrl, QStringLiteral("http://127.0.0.2:8082/kelva/individual/getStudyInfo.do?"));
    QCOMPARE(e.requestTimeout, 0L);
}

void TestConfig::noFileChangesNothing()
{
    CloudEndpoints e = marked();
    ::readEndpoints(appDir(), e);
    QCOMPARE(urls(e), urls(marked()));
    QCOMPARE(e.requestTimeout, 9L);

    e = defaultEndpoints();
    ::readEndpoints(appDir(), e);
    QCOMPARE(urls(e), urls(defaultEndpoints()));
}

void TestConfig::findSettingsFile_data()
{
    QTest::addColumn<bool>("inOwn");
    QTest::addColumn<bool>("beside");
    QTest::addColumn<QString>("expectedFolder");

    QTest::newRow("neither") << false << false << QString();
    QTest::newRow("own folder") << true << false << ownFolder();
    QTest::newRow("beside only") << false << true << besideFolder();
    QTest::newRow("both: own wins") << true << true << ownFolder();
}

void TestConfig::findSettingsFile()
{
    QFETCH(bool, inOwn);
    QFETCH(bool, beside);
    QFETCH(QString, expectedFolder);

    if (inOwn)
        writeFile(ownFolder(), QStringLiteral("main.ini"), "");
    if (beside)
        writeFile(besideFolder(), QStringLiteral("main.ini"), "");

    const QString found = ::findSettingsFile(appDir(), QStringLiteral("main.ini"));
    if (expectedFolder.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QCOMPARE(found, expectedFolder + QStringLiteral("main.ini"));
    // Only the file asked for counts.
    QVERIFY(::findSettingsFile(appDir(), QStringLiteral("clouddata.ini")).isEmpty());
}

void TestConfig::readEndpoints_data()
{
    QTest::addColumn<QByteArray>("own");
    QTest::addColumn<QByteArray>("beside");
    QTest::addColumn<QStringList>("expected");

    const QByteArray full = "[cloud]\n"
                            "positionDownLoadUrl=http://10.0.0.5:90/pos.do\n"
                            "checkItemDownLoadUrl=http://10.0.0.5:90/items.do\n"
                            "uploadCurl=http://10.0.0.5:90/modify.do\n"
                            "getcheckNumCurl=http://10.0.0.5:90/find?\n"
                            "getCloudPatientInfoCurl=http://10.0.0.6:90/info?\n";
    const QStringList fullUrls{"http://10.0.0.5:90/pos.do", "http://10.0.0.5:90/items.do",
                               "http://10.0.0.5:90/modify.do", "http://10.0.0.5:90/find?",
                               "http://10.0.0.6:90/info?"};

    QTest::newRow("all five") << full << QByteArray() << fullUrls;
    QTest::newRow("beside only") << QByteArray() << full << fullUrls;
    QTest::newRow("both: only own read")
        << QByteArray("[cloud]\nuploadCurl=http://own/modify.do\n") << full
        << QStringList{"", "", "http://own/modify.do", "", ""};
    QTest::newRow("only uploadCurl empties the rest")
        << QByteArray("[cloud]\nuploadCurl=http://h/m.do\n") << QByteArray()
        << QStringList{"", "", "http://h/m.do", "", ""};
    QTest::newRow("empty file") << QByteArray("\n") << QByteArray() << QStringList{"", "", "", "", ""};
    QTest::newRow("keys outside [cloud]")
        << QByteArray("uploadCurl=http://h/m.do\n[other]\ngetcheckNumCurl=http://h/f?\n") << QByteArray()
        << QStringList{"", "", "", "", ""};
    QTest::newRow("empty value") << QByteArray("[cloud]\ngetcheckNumCurl=\nuploadCurl=u\n") << QByteArray()
                                 << QStringList{"", "", "u", "", ""};
}

void TestConfig::readEndpoints()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, beside);
    QFETCH(QStringList, expected);

    writeSettings(QStringLiteral("clouddata.ini"), own, beside);

    CloudEndpoints e = defaultEndpoints();
    ::readEndpoints(appDir(), e);
    QCOMPARE(urls(e), expected);
}

void TestConfig::requestTimeout_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<long>("seconds");

    QTest::newRow("absent") << QByteArray() << 0L;
    QTest::newRow("whole number") << QByteArray("requestTimeout=30") << 30L;
    QTest::newRow("zero") << QByteArray("requestTimeout=0") << 0L;
    QTest::newRow("empty") << QByteArray("requestTimeout=") << 0L;
    QTest::newRow("negative") << QByteArray("requestTimeout=-5") << 0L;
    QTest::newRow("not a number") << QByteArray("requestTimeout=soon") << 0L;
    QTest::newRow("fraction") << QByteArray("requestTimeout=1.5") << 0L;
    QTest::newRow("trailing junk") << QByteArray("requestTimeout=10s") << 0L;
    QTest::newRow("too large") << QByteArray("requestTimeout=99999999999999999999999") << 0L;
    QTest::newRow("list") << QByteArray("requestTimeout=3, 4") << 0L;
}

void TestConfig::requestTimeout()
{
    QFETCH(QByteArray, line);
    QFETCH(long, seconds);

    writeFile(ownFolder(), QStringLiteral("clouddata.ini"), "[cloud]\nuploadCurl=u\n" + line + "\n");
    CloudEndpoints e = marked();
    ::readEndpoints(appDir(), e);
    QCOMPARE(e.requestTimeout, seconds);
    QCOMPARE(e.modifyUrl, QStringLiteral("u"));
}

void TestConfig::calendarSwitch_data()
{
    QTest::addColumn<QByteArray>("own");
    QTest::addColumn<QByteArray>("beside");
    QTest::addColumn<bool>("switchedOff");

    QTest::newRow("no file") << QByteArray() << QByteArray() << false;
    QTest::newRow("0") << QByteArray("[cloudPatient]\ncloud=0\n") << QByteArray() << true;
    QTest::newRow("quoted 0") << QByteArray("[cloudPatient]\ncloud=\"0\"\n") << QByteArray() << true;
    QTest::newRow("00") << QByteArray("[cloudPatient]\ncloud=00\n") << QByteArray() << false;
    QTest::newRow("false") << QByteArray("[cloudPatient]\ncloud=false\n") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("[cloudPatient]\ncloud=\n") << QByteArray() << false;
    QTest::newRow("missing key") << QByteArray("[cloudPatient]\nother=0\n") << QByteArray() << false;
    QTest::newRow("other group") << QByteArray("[cloud]\ncloud=0\n") << QByteArray() << false;
    QTest::newRow("beside only") << QByteArray() << QByteArray("[cloudPatient]\ncloud=0\n") << true;
    QTest::newRow("own hides beside")
        << QByteArray("[cloudPatient]\ncloud=1\n") << QByteArray("[cloudPatient]\ncloud=0\n") << false;
}

void TestConfig::calendarSwitch()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, beside);
    QFETCH(bool, switchedOff);

    writeSettings(QStringLiteral("main.ini"), own, beside);

    QCOMPARE(calendarSwitchedOff(appDir()), switchedOff);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
