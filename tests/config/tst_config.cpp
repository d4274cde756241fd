#include "formconfig.h"

#include <QtTest>

namespace {

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

// Puts @p name into the application's own "config" folder and the one beside it; empty: no file there.
void writeSettings(const QString& name, const QByteArray& own, const QByteArray& beside)
{
    static int rewrites = 0;
    const QByteArray contents[] = {own, beside};
    const QString folders[] = {appDir() + QStringLiteral("/config/"), appDir() + QStringLiteral("/../config/")};
    for (int i = 0; i < 2; ++i) {
        QFile file(folders[i] + name);
        file.remove();
        if (contents[i].isEmpty())
            continue;
        QVERIFY(QDir().mkpath(folders[i]) && file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents[i]), qint64(contents[i].size()));
        // QSettings reuses a cached parse while size and modification time match.
        QVERIFY(file.flush() && file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(++rewrites - 3600),
                                                 QFileDevice::FileModificationTime));
    }
}

// What the form takes from @p name: the five URLs, the request timeout and the CA file (its
// folder shown as "<own>" or "<beside>"), or the calendar switch.
QStringList settingsRead(const QString& name)
{
    if (name == QLatin1String("main.ini"))
        return {calendarSwitchedOff(appDir()) ? "off" : "on"};
    const CloudData data = readCloudData(appDir());
    CloudEndpoints e = defaultEndpoints();
    readEndpoints(data, e);
    QString caFile = data.caFile;
    for (const char* folder : {"own", "beside"}) {
        const QString path = QDir::cleanPath(appDir() + (*folder == 'o' ? "/config" : "/../config"));
        if (caFile.startsWith(path + '/'))
            caFile.replace(0, path.size(), QStringLiteral("<%1>").arg(QLatin1String(folder)));
    }
    return {e.positionUrl, e.checkItemUrl, e.modifyUrl, e.checkNumUrl, e.studyInfoUrl,
            QString::number(data.requestTimeout), caFile};
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void settings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("own");
        QTest::addColumn<QByteArray>("beside");
        QTest::addColumn<QStringList>("expected");

        const QString cloud = "clouddata.ini", main = "main.ini", form = "http://127.0.0.1:8082/kelva/";
        const QByteArray full = "[cloud]\npositionDownLoadUrl=h/p\ncheckItemDownLoadUrl=h/c\nuploadCurl=h/m\n"
                                "getcheckNumCurl=h/n?\ngetCloudPatientInfoCurl=i/s?\n";
        const QStringList fullUrls{"h/p", "h/c", "h/m", "h/n?", "i/s?", "0", ""};
        const auto none = [](const char* timeout, const char* caFile = "") {
            return QStringList{"", "", "", "", "", timeout, caFile};
        };
        const QByteArray off = "[cloudPatient]\ncloud=0\n", no;
        QTest::newRow("no file: built-in")
            << cloud << no << no
            << QStringList{form + "patientmanagerform/getPosition.do", form + "patientmanagerform/getCheckitem.do",
                           form + "individual/modifyStudyInfo.do", form + "individual/findCheckNum4Unique?",
                           "http://127.0.0.2:8082/kelva/individual/getStudyInfo.do?", "0", ""};
        QTest::newRow("own folder") << cloud << full << no << fullUrls;
        QTest::newRow("beside only") << cloud << no << full << fullUrls;
        QTest::newRow("own wins, a lone key empties the rest")
            << cloud << QByteArray("[cloud]\nuploadCurl=u\n") << full << QStringList{"", "", "u", "", "", "0", ""};
        QTest::newRow("outside [cloud]") << cloud << QByteArray("uploadCurl=u\n[x]\nuploadCurl=v") << full << none("0");
        QTest::newRow("timeout") << cloud << QByteArray("[cloud]\nrequestTimeout=30\n") << no << none("30");
        QTest::newRow("negative timeout") << cloud << QByteArray("[cloud]\nrequestTimeout=-5\n") << no << none("0");
        QTest::newRow("timeout with unit") << cloud << QByteArray("[cloud]\nrequestTimeout=10s\n") << no << none("0");
        // A relative CA file lies below the folder of the clouddata.ini that names it.
        QTest::newRow("caFile empty") << cloud << QByteArray("[cloud]\ncaFile=\n") << no << none("0");
        QTest::newRow("caFile relative") << cloud << QByteArray("[cloud]\ncaFile=certs/../ca/h.pem\n") << no
                                         << none("0", "<own>/ca/h.pem");
        QTest::newRow("caFile beside") << cloud << no << QByteArray("[cloud]\ncaFile=h.pem\n") << none("0", "<beside>/h.pem");
        QTest::newRow("caFile absolute") << cloud << QByteArray("[cloud]\ncaFile=/etc/h/ca.pem\n") << no
                                         << none("0", "/etc/h/ca.pem");
        QTest::newRow("caFile with a comma: not a list") << cloud << QByteArray("[cloud]\ncaFile=/ca/a,b.pem\n") << no
                                                        << none("0", "/ca/a,b.pem");

        QTest::newRow("no main.ini") << main << no << no << QStringList{"on"};
        QTest::newRow("0 switches off") << main << off << no << QStringList{"off"};
        QTest::newRow("00") << main << QByteArray("[cloudPatient]\ncloud=00\n") << no << QStringList{"on"};
        QTest::newRow("missing key") << main << QByteArray("[cloudPatient]\nother=0\n") << no << QStringList{"on"};
        QTest::newRow("other group") << main << QByteArray("[cloud]\ncloud=0\n") << no << QStringList{"on"};
        QTest::newRow("main.ini beside only") << main << no << off << QStringList{"off"};
        QTest::newRow("own main.ini hides beside") << main << QByteArray("[cloudPatient]\ncloud=1\n") << off
                                                   << QStringList{"on"};
    }

    void settings()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, own);
        QFETCH(QByteArray, beside);
        QFETCH(QStringList, expected);
        writeSettings(name, own, beside);
        QCOMPARE(settingsRead(name), expected);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
