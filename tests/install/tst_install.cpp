// What a host vendor gets: `cmake --install` into a scratch prefix, a host
// outside this tree (host/) configured against it with find_package, built,
// and opening a study through the installed plug-in with the installed
// example settings; and the Debian package of the same layout.

#include "formfixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList layout{
    "plugins/generic/libCloudPatientPlugin.so",
    "lib/libcloudClientPlugin.so",
    "lib/libCommonWidgetPlugin.so",
    "include/cloudpatient/cloudpatienthost.h",
    "lib/cmake/CloudPatientPlugin/CloudPatientPluginConfig.cmake",
    "lib/cmake/CloudPatientPlugin/CloudPatientPluginConfigVersion.cmake",
    "lib/cmake/CloudPatientPlugin/CloudPatientPluginTargets.cmake",
    "share/cloudpatient/examples/clouddata.ini",
    "share/cloudpatient/examples/main.ini",
    "share/cloudpatient/examples/cloudCheckItem.json",
    "share/cloudpatient/examples/cloudPositionItem.json",
    "share/cloudpatient/examples/proxy.txt",
    "share/cloudpatient/examples/README",
};

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedLayout();
    void runPaths_data();
    void runPaths();
    void hostOpensStudy();
    void debianPackage();

private:
    // Runs a program to its end; its output, or a failure with what it said.
    bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    QString prefix(const QString& path = QString()) const { return tmp.filePath("prefix/" + path); }

    QTemporaryDir tmp;
    QString failure;
};

bool TestInstall::run(const QString& program, const QStringList& arguments, QByteArray* output,
                      const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(180000);
    const QByteArray said = process.readAll();
    if (output)
        *output = said;
    failure = program + ' ' + arguments.join(' ') + ":\n" + QString::fromUtf8(said);
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void TestInstall::initTestCase()
{
    QVERIFY2(run(CMAKE_COMMAND, {"--install", BINARY_DIR, "--prefix", prefix()}), qPrintable(failure));
    // The host is built as this build is, so that a sanitizer build's plug-in finds its runtime.
    QVERIFY2(run(CMAKE_COMMAND, {"-S", SOURCE_DIR "/tests/install/host", "-B", tmp.filePath("host"), "-G", "Ninja",
                                 "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_PREFIX_PATH=" + prefix(),
                                 "-DCMAKE_CXX_FLAGS=" HOST_FLAGS, "-DCMAKE_EXE_LINKER_FLAGS=" HOST_FLAGS}),
             qPrintable(failure));
    QVERIFY2(run(CMAKE_COMMAND, {"--build", tmp.filePath("host")}), qPrintable(failure));
}

void TestInstall::installedLayout()
{
    for (const QString& file : layout)
        QVERIFY2(QFileInfo(prefix(file)).isFile(), qPrintable(file));
}

void TestInstall::runPaths_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("runPath");
    QTest::newRow("plug-in") << "plugins/generic/libCloudPatientPlugin.so" << "$ORIGIN/../../lib";
    QTest::newRow("cloud client") << "lib/libcloudClientPlugin.so" << "$ORIGIN";
    QTest::newRow("message boxes") << "lib/libCommonWidgetPlugin.so" << "$ORIGIN";
}

void TestInstall::runPaths()
{
    QFETCH(QString, library);
    QFETCH(QString, runPath);
    QByteArray dynamic;
    QVERIFY2(run("readelf", {"--dynamic", prefix(library)}, &dynamic), qPrintable(failure));
    // Nothing of the build tree stays in an installed library.
    QVERIFY2(dynamic.contains("(RUNPATH)            Library runpath: [" + runPath.toUtf8() + "]"),
             dynamic.constData());
}

void TestInstall::hostOpensStudy()
{
    TestServer server;
    server.setReply("GET", formcloud::lookupPath, formcloud::scripted(R"({"rischeckserialnum":"RIS-9"})"));
    server.setReply("GET", formcloud::recordPath, formcloud::scripted(formcloud::fullRecord));

    // The installed examples, pointed at the test server: the host finds
    // clouddata.ini in its own config/ and the dictionaries in ../config/.
    const QString examples = prefix("share/cloudpatient/examples/");
    QByteArray ini = FormFiles::read(examples + "clouddata.ini");
    QVERIFY(ini.contains("=http://127.0.0.1:8082/"));
    ini.replace("=http://127.0.0.1:8082/", "=" + server.url().toUtf8() + "/");
    QVERIFY(FormFiles::write(tmp.filePath("host/config/clouddata.ini"), ini));
    for (const char* name : {"cloudCheckItem.json", "cloudPositionItem.json"})
        QVERIFY(FormFiles::write(tmp.filePath("config/") + name, FormFiles::read(examples + name)));

    // Only the installed plug-in, as a host vendor's machine has it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_PLUGIN_PATH");
    environment.remove("LD_LIBRARY_PATH");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QByteArray output;
    QVERIFY2(run(tmp.filePath("host/installed-host"), {"host-session", "1.2.840.99"}, &output, environment),
             qPrintable(failure));
    QVERIFY2(output.contains("shown=1 serial=RIS-9 patient=Zhang San items=4\n"), output.constData());
    const std::vector<RecordedRequest> lookups = server.requests(formcloud::lookupPath);
    QCOMPARE(lookups.size(), size_t(1));
    QCOMPARE(lookups.front().target, formcloud::lookupPath + "?studyinstanceuid=1.2.840.99");
    QCOMPARE(lookups.front().header("Cookie"), std::string("JSESSIONID=host-session"));
}

void TestInstall::debianPackage()
{
    QVERIFY2(run(CPACK_COMMAND, {"--config", BINARY_DIR "/CPackConfig.cmake", "-B", tmp.filePath("deb")}),
             qPrintable(failure));
    const QStringList debs = QDir(tmp.filePath("deb")).entryList({"*.deb"});
    QCOMPARE(debs.size(), 1);
    const QString deb = tmp.filePath("deb/" + debs.first());

    QByteArray depends;
    QVERIFY2(run("dpkg-deb", {"--field", deb, "Depends"}, &depends), qPrintable(failure));
    for (const char* package : {"libqt5core5a", "libqt5widgets5", "libqt5sql5-sqlite", "libsqlite3-0", "libcurl4"})
        QVERIFY2(depends.contains(package), depends.constData());

    QByteArray contents;
    QVERIFY2(run("dpkg-deb", {"--contents", deb}, &contents), qPrintable(failure));
    for (const QString& file : layout)
        QVERIFY2(contents.contains(" ./opt/cloudpatient/" + file.toUtf8() + '\n'), qPrintable(file));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
