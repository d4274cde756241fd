// The whole road once, with real processes: sample DICOM studies, the
// reference cloud service on a free loopback port with one study seeded, the
// workstation importing the studies and running its walk-through with the
// plug-in. The checks then read what the run left in the cloud's database,
// the workstation's database and the file system.

#include "samplestudies.h"

#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <memory>

namespace {

const int processMs = 30000;

// Rows of a statement on the SQLite file, each row as its cells' texts.
QList<QStringList> rows(const QString& file, const QString& sql, const QVariantList& values = {})
{
    const QString name = QStringLiteral("e2e-") + file;
    QList<QStringList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(file));
        QSqlQuery query(db);
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i).toString());
            result.append(row);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void walkthroughPassedEveryStep();
    void screenshots_data();
    void screenshots();
    void knownStudyShownWithItsRecord();
    void unknownStudyUploadedFileByFile();
    void editStoredByTheCloud();
    void backupFileHoldsTheEdit();
    void indexRowInserted();
    void onlyTheEditedPatientRowUpdated();
    void dictionaryFilesStayGbk();

private:
    QString path(const QString& relative) const { return QDir(tmp.path()).filePath(relative); }
    QString localDb() const { return path(QStringLiteral("workstation.sqlite")); }
    QString cloudDb() const { return path(QStringLiteral("cloud/cloud.sqlite")); }
    QJsonObject summaryPart(const char* key) const { return summary.value(QLatin1String(key)).toObject(); }
    QStringList workstationArguments(const QStringList& more) const;
    bool startService();
    void stopService();

    QTemporaryDir tmp;
    QVector<SampleStudy> studies;
    QString seededSerial;
    std::unique_ptr<QProcess> service;
    int port = 0;
    QByteArray checkItemJson;
    QByteArray positionJson;
    int walkthroughExit = -1;
    QString walkthroughOutput;
    QJsonObject summary;
};

QStringList TestEndToEnd::workstationArguments(const QStringList& more) const
{
    return QStringList{QStringLiteral("--database"), localDb()} + more;
}

bool TestEndToEnd::startService()
{
    service = std::make_unique<QProcess>();
    service->setProcessChannelMode(QProcess::SeparateChannels);
    service->setStandardErrorFile(path(QStringLiteral("cloud-service.log")));
    service->start(QStringLiteral(E2E_CLOUD_SERVICE),
                   {QStringLiteral("--data"), path(QStringLiteral("cloud")), QStringLiteral("--listen"),
                    QStringLiteral("127.0.0.1:0")});
    if (!service->waitForStarted(processMs))
        return false;
    QByteArray said;
    while (!said.contains('\n') && service->waitForReadyRead(processMs))
        said += service->readAllStandardOutput();
    if (!said.startsWith("listening on 127.0.0.1:"))
        return false;
    port = said.mid(int(sizeof "listening on 127.0.0.1:") - 1).trimmed().toInt();
    return port > 0;
}

void TestEndToEnd::stopService()
{
    if (!service || service->state() == QProcess::NotRunning)
        return;
    service->terminate();
    if (!service->waitForFinished(processMs))
        service->kill();
    service->waitForFinished(processMs);
}

void TestEndToEnd::initTestCase()
{
    QVERIFY(tmp.isValid());
    QString error;
    QVERIFY2(writeSampleStudies(path(QStringLiteral("studies")), defaultSampleStudies(), &studies, &error),
             qPrintable(error));
    QVERIFY(studies.size() >= 2);

    // The first study is known to the cloud before the run.
    const SampleStudyPlan& first = studies.first().plan;
    QProcess seed;
    seed.start(QStringLiteral(E2E_CLOUD_SERVICE),
               {QStringLiteral("--data"), path(QStringLiteral("cloud")), QStringLiteral("--seed-study"),
                studies.first().studyUid, QStringLiteral("--name"), first.patient.name, QStringLiteral("--sex"),
                first.patient.sex, QStringLiteral("--age"), QString::number(first.patient.age.left(3).toInt()),
                QStringLiteral("--age-unit"), first.patient.age.right(1), QStringLiteral("--study-time"),
                first.studyTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QStringLiteral("--check-item-id"),
                QStringLiteral("2"), QStringLiteral("--position-id"), QStringLiteral("1"), QStringLiteral("--history"),
                QStringLiteral("胸痛两天")});
    QVERIFY(seed.waitForFinished(processMs));
    QCOMPARE(seed.exitCode(), 0);
    seededSerial = QString::fromUtf8(seed.readAllStandardOutput()).trimmed();
    QVERIFY(!seededSerial.isEmpty());

    QVERIFY2(startService(), "the cloud service did not start");

    // The plug-in's configuration, beside this test's copy of the workstation.
    httplib::Client http("127.0.0.1", port);
    const httplib::Result login = http.Post("/kelva/login", "user=demo&password=demo",
                                            "application/x-www-form-urlencoded");
    QVERIFY(login && login->status == 200);
    const QString session = QJsonDocument::fromJson(QByteArray::fromStdString(login->body))
                                .object()
                                .value(QStringLiteral("jsessionid"))
                                .toString();
    const httplib::Headers cookie{{"Cookie", "JSESSIONID=" + session.toStdString()}};
    const httplib::Result items = http.Get("/kelva/patientmanagerform/getCheckitem.do", cookie);
    const httplib::Result positions = http.Get("/kelva/patientmanagerform/getPosition.do", cookie);
    QVERIFY(items && items->status == 200 && positions && positions->status == 200);
    checkItemJson = QByteArray::fromStdString(items->body);
    positionJson = QByteArray::fromStdString(positions->body);

    // Indented, so that the save's rewrite (the service's compact text) shows.
    const QString bin = QFileInfo(QStringLiteral(E2E_WORKSTATION)).absolutePath();
    const QTextCodec* gbk = QTextCodec::codecForName("GBK");
    const auto indentedGbk = [gbk](const QByteArray& json) {
        return gbk->fromUnicode(QString::fromUtf8(QJsonDocument::fromJson(json).toJson(QJsonDocument::Indented)));
    };
    QVERIFY(writeFile(bin + QStringLiteral("/../config/cloudCheckItem.json"), indentedGbk(checkItemJson)));
    QVERIFY(writeFile(bin + QStringLiteral("/../config/cloudPositionItem.json"), indentedGbk(positionJson)));
    const QString cloud = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QVERIFY(writeFile(bin + QStringLiteral("/config/clouddata.ini"),
                      QStringLiteral("[cloud]\n"
                                     "positionDownLoadUrl=%1/kelva/patientmanagerform/getPosition.do\n"
                                     "checkItemDownLoadUrl=%1/kelva/patientmanagerform/getCheckitem.do\n"
                                     "uploadCurl=%1/kelva/individual/modifyStudyInfo.do\n"
                                     "getcheckNumCurl=%1/kelva/individual/findCheckNum4Unique?\n"
                                     "getCloudPatientInfoCurl=%1/kelva/individual/getStudyInfo.do?\n"
                                     "assistUrl=%1/kelva/upload/uploadImage.do\n"
                                     "requestTimeout=20\n")
                          .arg(cloud)
                          .toUtf8()));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.value(QStringLiteral("QT_PLUGIN_PATH")).isEmpty())
        environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(E2E_PLUGINS));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess import;
    import.setProcessEnvironment(environment);
    import.start(QStringLiteral(E2E_WORKSTATION),
                 workstationArguments({QStringLiteral("--import"), path(QStringLiteral("studies")),
                                       QStringLiteral("--quit")}));
    QVERIFY(import.waitForFinished(processMs));
    QCOMPARE(import.exitCode(), 0);

    // A local database that lags behind the cloud: no patient has a sex, so
    // that the save's update of one patient row shows.
    rows(localDb(), QStringLiteral("UPDATE patient SET PatientSex = 'stale'"));

    // The form writes its backups to ../backup from the working directory.
    QVERIFY(QDir().mkpath(path(QStringLiteral("work"))));
    QProcess walkthrough;
    walkthrough.setProcessEnvironment(environment);
    walkthrough.setWorkingDirectory(path(QStringLiteral("work")));
    walkthrough.setProcessChannelMode(QProcess::MergedChannels);
    walkthrough.start(QStringLiteral(E2E_WORKSTATION),
                      workstationArguments({QStringLiteral("--cloud"), cloud, QStringLiteral("--walkthrough"),
                                            path(QStringLiteral("shots")), QStringLiteral("--wait"),
                                            QStringLiteral("20")}));
    QVERIFY(walkthrough.waitForFinished(150000));
    walkthroughExit = walkthrough.exitStatus() == QProcess::NormalExit ? walkthrough.exitCode() : -1;
    walkthroughOutput = QString::fromUtf8(walkthrough.readAll());
    stopService();

    QFile summaryFile(path(QStringLiteral("shots/walkthrough.json")));
    QVERIFY2(summaryFile.open(QIODevice::ReadOnly), qPrintable(walkthroughOutput));
    summary = QJsonDocument::fromJson(summaryFile.readAll()).object();
}

void TestEndToEnd::cleanupTestCase()
{
    stopService();
}

void TestEndToEnd::walkthroughPassedEveryStep()
{
    QVERIFY2(walkthroughExit == 0, qPrintable(walkthroughOutput));
    QVERIFY(summary.value(QStringLiteral("passed")).toBool());
    for (int step = 0; step <= 4; ++step)
        QVERIFY2(walkthroughOutput.contains(QStringLiteral("step %1 passed").arg(step)), qPrintable(walkthroughOutput));
}

void TestEndToEnd::screenshots_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minWidth");
    QTest::newRow("known study") << "1-known-study.png" << 500;
    QTest::newRow("upload under way") << "2-upload-progress.png" << 300;
    QTest::newRow("upload finished") << "3-upload-finished.png" << 300;
    QTest::newRow("uploaded study") << "4-uploaded-study.png" << 500;
    QTest::newRow("edit") << "5-edited.png" << 500;
    QTest::newRow("after the save") << "6-after-save.png" << 500;
}

void TestEndToEnd::screenshots()
{
    QFETCH(QString, name);
    QFETCH(int, minWidth);
    const QImage image(path(QStringLiteral("shots/") + name));
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY(image.width() >= minWidth);
    QVERIFY(summary.value(QStringLiteral("screenshots")).toArray().contains(name));
}

void TestEndToEnd::knownStudyShownWithItsRecord()
{
    const QJsonObject known = summaryPart("known");
    QCOMPARE(known.value(QStringLiteral("studyuid")).toString(), studies.first().studyUid);
    QCOMPARE(known.value(QStringLiteral("serial")).toString(), seededSerial);
    QCOMPARE(known.value(QStringLiteral("patientname")).toString(), studies.first().plan.patient.name);
    // Only looked at: the seeded record is as it was.
    const QList<QStringList> record = rows(
        cloudDb(), QStringLiteral("SELECT abstracthistory, checkitemid FROM studies WHERE serial = ?"), {seededSerial});
    QCOMPARE(record, (QList<QStringList>{{QStringLiteral("胸痛两天"), QStringLiteral("2")}}));
}

void TestEndToEnd::unknownStudyUploadedFileByFile()
{
    // The first study of the list that the cloud does not know is the second.
    const SampleStudy& uploaded = studies.at(1);
    const QJsonObject part = summaryPart("uploaded");
    QCOMPARE(part.value(QStringLiteral("studyuid")).toString(), uploaded.studyUid);
    const QString serial = part.value(QStringLiteral("serial")).toString();
    QVERIFY(!serial.isEmpty() && serial != seededSerial);

    const QList<QStringList> registered =
        rows(cloudDb(), QStringLiteral("SELECT serial, patientname FROM studies WHERE studyuid = ?"),
             {uploaded.studyUid});
    QCOMPARE(registered, (QList<QStringList>{{serial, uploaded.plan.patient.name}}));

    // Every image of the study arrived, each as a file of its own.
    const QList<QStringList> local = rows(
        localDb(),
        QStringLiteral("SELECT i.SOPInstanceUID FROM imageformat i JOIN generalseries se ON i.series_fk = se.pk "
                       "JOIN generalstudy s ON se.study_fk = s.pk WHERE s.StudyInstanceUID = ? ORDER BY 1"),
        {uploaded.studyUid});
    const QList<QStringList> stored = rows(
        cloudDb(), QStringLiteral("SELECT sopinstanceuid FROM images WHERE studyuid = ? ORDER BY 1"),
        {uploaded.studyUid});
    QCOMPARE(local.size(), uploaded.files().size());
    QCOMPARE(stored, local);
    QCOMPARE(part.value(QStringLiteral("files")).toInt(), uploaded.files().size());

    // The other unknown studies stayed where they were.
    for (int i = 2; i < studies.size(); ++i)
        QVERIFY(rows(cloudDb(), QStringLiteral("SELECT 1 FROM studies WHERE studyuid = ?"), {studies.at(i).studyUid})
                    .isEmpty());
}

void TestEndToEnd::editStoredByTheCloud()
{
    const QJsonObject edited = summaryPart("edited");
    const QJsonObject values = edited.value(QStringLiteral("values")).toObject();
    QCOMPARE(edited.value(QStringLiteral("studyuid")).toString(), studies.at(1).studyUid);
    QVERIFY(!values.value(QStringLiteral("abstracthistory")).toString().isEmpty());

    const QList<QStringList> stored =
        rows(cloudDb(),
             QStringLiteral("SELECT abstracthistory, relevantresult, prediagnose, checkitemid, studypositionid, "
                            "patientname, sex, age, ageunit FROM studies WHERE serial = ?"),
             {edited.value(QStringLiteral("serial")).toString()});
    QCOMPARE(stored.size(), 1);
    const QStringList keys{QStringLiteral("abstracthistory"), QStringLiteral("relevantresult"),
                           QStringLiteral("prediagnose"),     QStringLiteral("checkitemid"),
                           QStringLiteral("studypositionid"), QStringLiteral("patientname"),
                           QStringLiteral("sex"),             QStringLiteral("age"),
                           QStringLiteral("ageunit")};
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(stored.first().at(i), values.value(keys.at(i)).toString());
    // An upload registers its study with the first entries; the edit chose others.
    QVERIFY(stored.first().at(3) != QLatin1String("0"));
}

void TestEndToEnd::backupFileHoldsTheEdit()
{
    const QJsonObject edited = summaryPart("edited");
    const QString backup =
        path(QStringLiteral("backup/CloudPatientCaseInfo_") + studies.at(1).studyUid + QStringLiteral(".json"));
    QCOMPARE(QDir::cleanPath(edited.value(QStringLiteral("backup")).toString()), QDir::cleanPath(backup));
    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject body = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(body.size(), 11);
    const QJsonObject values = edited.value(QStringLiteral("values")).toObject();
    for (auto it = values.begin(); it != values.end(); ++it)
        QCOMPARE(body.value(it.key()).toString(), it.value().toString());
}

void TestEndToEnd::indexRowInserted()
{
    const QJsonObject edited = summaryPart("edited");
    const QList<QStringList> index =
        rows(localDb(), QStringLiteral("SELECT CheckSerialNum, PatientInfoPath FROM patientinfoindex"));
    QCOMPARE(index.size(), 1);
    QCOMPARE(index.first().at(0), edited.value(QStringLiteral("serial")).toString());
    QCOMPARE(QDir::cleanPath(index.first().at(1)),
             path(QStringLiteral("backup/CloudPatientCaseInfo_") + studies.at(1).studyUid + QStringLiteral(".json")));
}

void TestEndToEnd::onlyTheEditedPatientRowUpdated()
{
    const QJsonObject values = summaryPart("edited").value(QStringLiteral("values")).toObject();
    const QList<QStringList> patients = rows(
        localDb(), QStringLiteral("SELECT s.StudyInstanceUID, p.PatientName, p.PatientSex FROM generalstudy s "
                                  "JOIN patient p ON s.patient_fk = p.pk ORDER BY s.pk"));
    QCOMPARE(patients.size(), studies.size());
    for (int i = 0; i < studies.size(); ++i) {
        QCOMPARE(patients.at(i).at(0), studies.at(i).studyUid);
        QCOMPARE(patients.at(i).at(1), studies.at(i).plan.patient.name);
        const QString expectedSex = i == 1 ? values.value(QStringLiteral("sex")).toString() : QStringLiteral("stale");
        QCOMPARE(patients.at(i).at(2), expectedSex);
    }
    QCOMPARE(values.value(QStringLiteral("sex")).toString(), studies.at(1).plan.patient.sex);
}

void TestEndToEnd::dictionaryFilesStayGbk()
{
    // The save rewrote both files (they were indented before) in the locale's
    // encoding, which the workstation makes GBK.
    const QString config = QFileInfo(QStringLiteral(E2E_WORKSTATION)).absolutePath() + QStringLiteral("/../config/");
    const QTextCodec* gbk = QTextCodec::codecForName("GBK");
    QFile items(config + QStringLiteral("cloudCheckItem.json"));
    QFile positions(config + QStringLiteral("cloudPositionItem.json"));
    QVERIFY(items.open(QIODevice::ReadOnly) && positions.open(QIODevice::ReadOnly));
    const QByteArray itemBytes = items.readAll();
    QCOMPARE(itemBytes, gbk->fromUnicode(QString::fromUtf8(checkItemJson)));
    QVERIFY(itemBytes != checkItemJson);  // the names are not ASCII, so GBK and UTF-8 differ
    QCOMPARE(positions.readAll(), gbk->fromUnicode(QString::fromUtf8(positionJson)));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
