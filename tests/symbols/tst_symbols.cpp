// What our libraries show a host in their dynamic symbol tables: the plug-in
// its Qt entry points and the classes hosts and the sibling libraries use by
// name, each sibling library its public classes; no helper's name, so that a
// host loading several plug-ins never meets ours.

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class TestSymbols : public QObject
{
    Q_OBJECT

private slots:
    void exportsOnlyItsInterface_data();
    void exportsOnlyItsInterface();
};

void TestSymbols::exportsOnlyItsInterface_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("classes");   // whose members, type information and thunks may show
    QTest::addColumn<QStringList>("needed");
    QTest::newRow("plug-in") << QStringLiteral(PLUGIN_FILE)
                             << "UploadStudyProgressForm|ProxyConfigForm|CloudPatientHost"
                             << QStringList{"qt_plugin_instance", "qt_plugin_query_metadata",
                                            "UploadStudyProgressForm::getInstance()",
                                            "ProxyConfigForm::ProxyConfigForm(QWidget*)",
                                            "typeinfo for CloudPatientHost"};
    QTest::newRow("cloud client") << QStringLiteral(CLOUDCLIENT_FILE)
                                  << "HttpUploadFile|CloudClientAsyncHandler|UpLoadTask|UploadFilesModel"
                                  << QStringList{"HttpUploadFile::instance()",
                                                 "CloudClientAsyncHandler::newUpLoadTask(QStringList)",
                                                 "UpLoadTask::staticMetaObject", "typeinfo for UploadFilesModel"};
    QTest::newRow("message boxes") << QStringLiteral(COMMONWIDGET_FILE) << "zoxMessageBoxForm"
                                   << QStringList{"zoxMessageBoxForm::question(QWidget*, QString, QString, int, int)",
                                                  "zoxMessageBoxForm::warning(QWidget*, QString, QString, int, int)"};
}

void TestSymbols::exportsOnlyItsInterface()
{
    QFETCH(QString, library);
    QFETCH(QString, classes);
    QFETCH(QStringList, needed);

    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("--dynamic"), QStringLiteral("--defined-only"),
                                    QStringLiteral("--demangle"), library});
    QVERIFY2(nm.waitForFinished() && nm.exitCode() == 0, qPrintable(nm.errorString() + nm.readAllStandardError()));
    QStringList names;
    for (const QByteArray& line : nm.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            names << QString::fromUtf8(line).section(QLatin1Char(' '), 2);  // "address type name"
    }

    // Besides the classes: the plug-in's entry points, what the linker and a
    // sanitizer build mark out, and copies of Qt's and the standard library's
    // inline code and type information (a build without optimisation keeps
    // Qt's inline functions, which Qt declares exported; the standard library
    // declares its templates exported, and nm names a function template's
    // instance after its return type).
    const QRegularExpression allowed(
        QStringLiteral("^(qt_plugin_instance|qt_plugin_query_metadata|__bss_start|_edata|_end|__odr_asan\\..*"
                       "|(typeinfo for |typeinfo name for |vtable for |non-virtual thunk to |guard variable for |[^ (]+ )?"
                       "(%1|std|Qt\\w*|Q[A-Z]\\w*)(::|<|$).*)$")
            .arg(classes));
    QStringList leaked;
    for (const QString& name : names) {
        if (!allowed.match(name).hasMatch())
            leaked << name;
    }
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("exported: ") + leaked.join(QStringLiteral("; "))));
    for (const QString& name : needed)
        QVERIFY2(names.contains(name), qPrintable(QStringLiteral("not exported: ") + name));
}

QTEST_GUILESS_MAIN(TestSymbols)
#include "tst_symbols.moc"
