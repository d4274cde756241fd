// The whole road once, with real processes: sample DICOM studies, the cloud
// service on a free loopback port with the first study seeded, the workstation
// importing the studies and running its walk-through with the plug-in. The
// walk-through judges what it did (the form, the cloud's record, the backup
// file, the index row, the edited patient row, the dictionary files); these
// checks read what lies outside its view in both databases.

#include "formfixture.h"
#include "samplestudies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The rows of a statement on the named connection: cells joined by '|', rows by '\n'.
QString table(const char* connection, const QString& sql, const QString& value = QString())
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(connection)));
    query.prepare(sql);
    if (!value.isNull())
        query.addBindValue(value);
    if (!query.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    QStringList rows;
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < query.record().count(); ++i)
            cells.append(query.value(i).toString());
        rows.append(cells.join('|'));
    }
    return rows.join('\n');
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void walkthroughPassed();
    void cloudHoldsTheUpload();
    void otherPatientsUntouched();

private:
    QString path(const char* relative) const { return tmp.filePath(QLatin1String(relative)); }
    QString value(const char* part, const char* key) const
    {
        return summary.value(QLatin1String(part)).toObject().value(QLatin1String(key)).toString();
    }

    QTemporaryDir tmp;
    QVector<SampleStudy> studies;
    QProcess service;
    QString output;
    int walkthroughExit = -1;
    QJsonObject summary;
};

void TestEndToEnd::initTestCase()
{
    QString error;
    QVERIFY2(writeSampleStudies(path("studies"), defaultSampleStudies(), &studies, &error), qPrintable(error));
    const QStringList data{QStringLiteral("--data"), path("cloud")};
    QCOMPARE(QProcess::execute(QStringLiteral(E2E_CLOUD_SERVICE),
                               data + QStringList{"--seed-study", studies.first().studyUid, "--name",
                                                  studies.first().plan.patient.name, "--check-item-id", "2",
                                                  "--position-id", "1", "--history", "胸痛两天"}),
             0);
    service.start(QStringLiteral(E2E_CLOUD_SERVICE), data + QStringList{"--listen", "127.0.0.1:0"});
    while (!service.canReadLine() && service.waitForReadyRead()) {
    }
    const int port = service.readLine().trimmed().split(':').last().toInt();  // "listening on 127.0.0.1:<port>"
    QVERIFY(port > 0);

    // The form's dictionaries as the service serves them, indented so that the save's rewrite shows.
    httplib::Client http("127.0.0.1", port);
    const auto login = http.Post("/kelva/login", "user=demo&password=demo", "application/x-www-form-urlencoded");
    QVERIFY(login && login->status == 200);
    const std::string cookie = login->get_header_value("Set-Cookie");
    for (const auto& [file, url] : {std::pair{FormFiles::checkItemFile(), formcloud::checkItemPath},
                                    {FormFiles::positionFile(), formcloud::positionPath}}) {
        const auto reply = http.Get(url, {{"Cookie", cookie.substr(0, cookie.find(';'))}});
        QVERIFY(reply && reply->status == 200);
        const QByteArray indented = QJsonDocument::fromJson(reply->body.c_str()).toJson();
        QVERIFY(FormFiles::write(file, FormFiles::gbk(QString::fromUtf8(indented))));
    }
    const QString cloud = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QVERIFY(FormFiles::writeEndpoints(cloud, "/kelva/upload/uploadImage.do", 20));

    const auto workstation = [this](const QStringList& arguments) {
        QProcess process;
        // The form writes its backups to ../backup from the working directory.
        QDir().mkpath(path("work"));
        process.setWorkingDirectory(path("work"));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(E2E_WORKSTATION), QStringList{"--database", path("workstation.sqlite")} + arguments);
        const bool ended = process.waitForFinished(150000) && process.exitStatus() == QProcess::NormalExit;
        output = QString::fromUtf8(process.readAll());
        return ended ? process.exitCode() : -1;
    };
    QVERIFY2(workstation({"--import", path("studies"), "--quit"}) == 0, qPrintable(output));
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("local"))
        .setDatabaseName(path("workstation.sqlite"));
    // A local database that lags behind the cloud, so that the save's update of one patient row shows.
    table("local", "UPDATE patient SET PatientSex = 'stale'");
    walkthroughExit = workstation({"--cloud", cloud, "--walkthrough", path("shots"), "--wait", "20"});
    service.terminate();
    QVERIFY(service.waitForFinished());
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cloud"))
        .setDatabaseName(path("cloud/cloud.sqlite"));
    summary = QJsonDocument::fromJson(FormFiles::read(path("shots/walkthrough.json"))).object();
    QVERIFY2(!summary.isEmpty(), qPrintable(output));
}

void TestEndToEnd::walkthroughPassed()
{
    QVERIFY2(walkthroughExit == 0 && summary.value(QStringLiteral("passed")).toBool(), qPrintable(output));
    QCOMPARE(summary.value(QStringLiteral("screenshots")).toVariant().toStringList(),
             (QStringList{"1-known-study.png", "2-upload-progress.png", "3-upload-finished.png", "4-uploaded-study.png",
                          "5-edited.png", "6-after-save.png"}));
}

void TestEndToEnd::cloudHoldsTheUpload()
{
    // The known study was only looked at.
    QCOMPARE(table("cloud", "SELECT serial, patientname, abstracthistory, checkitemid FROM studies WHERE studyuid = ?",
                   studies.first().studyUid),
             value("known", "serial") + '|' + value("known", "patientname") + QStringLiteral("|胸痛两天|2"));

    // The first study that the cloud did not know, the second, arrived with
    // every image as a file of its own; the others stayed where they were.
    const SampleStudy& uploaded = studies.at(1);
    QCOMPARE(table("cloud", "SELECT serial FROM studies WHERE studyuid = ?", uploaded.studyUid),
             value("uploaded", "serial"));
    QCOMPARE(table("cloud", "SELECT count(*) FROM studies"), QStringLiteral("2"));
    const QString images = table("local", "SELECT i.SOPInstanceUID FROM imageformat i JOIN generalseries se ON "
                                          "i.series_fk = se.pk JOIN generalstudy s ON se.study_fk = s.pk WHERE "
                                          "s.StudyInstanceUID = ? ORDER BY 1", uploaded.studyUid);
    QCOMPARE(images.split('\n').size(), uploaded.files().size());
    QCOMPARE(table("cloud", "SELECT sopinstanceuid FROM images WHERE studyuid = ? ORDER BY 1", uploaded.studyUid), images);
}

void TestEndToEnd::otherPatientsUntouched()
{
    // The save updates the patient row of its own study alone.
    QCOMPARE(table("local", "SELECT p.PatientSex FROM generalstudy s JOIN patient p ON s.patient_fk = p.pk "
                            "WHERE s.StudyInstanceUID <> ? ORDER BY s.pk", studies.at(1).studyUid),
             QStringLiteral("stale\nstale\nstale"));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
