#include "faultserver.h"
#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "uploadaccess.h"
#include "workfolder.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <atomic>
#include <memory>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

// A FaultServer kind, or the HTTP status that the peer answers everything with
// (200: the row's body, whole; 302: each request is sent back to itself).
enum Fault {
    Refused = FaultServer::Refused, Stall = FaultServer::Stall, Garbage = FaultServer::Garbage,
    HalfClose = FaultServer::HalfClose, Huge = FaultServer::Huge, Served = 200, Loop = 302, E404 = 404, E500 = 500
};
Q_DECLARE_METATYPE(Fault)

namespace {

const QString studyUid = QStringLiteral("1.2.826.0.5");
const QStringList lookupKey{"cloud/getcheckNumCurl"}, recordKey{"cloud/getCloudPatientInfoCurl"},
    modifyKey{"cloud/uploadCurl"}, checkItemKey{"cloud/checkItemDownLoadUrl"},
    dictionaryKeys{"cloud/checkItemDownLoadUrl", "cloud/positionDownLoadUrl"};
const QByteArray fresh = R"([{"checkitemid":"7","checkitem":"Fresh"}])";
// Far beyond any sane redirect limit: a client without one is let out of the
// loop here, so that the test fails instead of hanging.
constexpr int loopGuard = 200;

// A half-closed reply of this body delivers exactly @p reply.
QByteArray padded(const QByteArray& reply)
{
    return reply + QByteArray(reply.size(), ' ');
}

QByteArray tag(const char* endpoint, Fault fault)
{
    const char* kinds[] = {"refused", "stall", "garbage", "half-close", "100 MB"};
    return endpoint + QByteArray(" ") + (fault < Served ? QByteArray(kinds[fault]) : QByteArray::number(fault));
}

} // namespace

// Fails the test when the fault was not met as it should be within the time of @p requests.
#define VERIFY_MET(requests) QVERIFY2(missed(requests).isEmpty(), qPrintable(missed(requests)))

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        good = std::make_unique<TestServer>();
        QVERIFY(serveStudy(*good));
        good->setReply("GET", checkItemPath, scripted(fresh.toStdString()));
        good->setReply("GET", positionPath, scripted(fresh.toStdString()));
        work = std::make_unique<WorkFolder>();
        QVERIFY(work->isValid());
        db = std::make_unique<StudyDatabase>();
        studyKey = db->addStudy(db->addPatient(QStringLiteral("Old Name"), QStringLiteral("F")), studyUid);
        answerer = std::make_unique<MessageBoxAnswerer>();
    }

    void cleanup()
    {
        answerer.reset();
        db.reset();
        work.reset();
        raw.reset();
        http.reset();
        good.reset();
        FormFiles::clear();
    }

    void requestFault_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("boxes");  // met while the study is opened and, when shown, saved
        QTest::addColumn<QString>("shown");  // serial number|name|age after the open
        QTest::addColumn<QByteArray>("dictionaries");  // both files after a save
        const QByteArray refreshed = fresh + '|' + fresh, kept = FormFiles::checkItems() + '|' + FormFiles::positions();
        const auto row = [&refreshed](const QByteArray& tag, const QStringList& keys, Fault fault, const QByteArray& body,
                                      const QStringList& boxes, const char* shown, const QByteArray& dictionaries = {}) {
            QTest::newRow(tag.constData()) << keys << fault << body << boxes << QString(shown)
                                           << (dictionaries.isNull() ? refreshed : dictionaries);
        };
        // Nothing usable looked up: the error box, and nothing shown.
        for (Fault fault : {Refused, Stall, Garbage, HalfClose, Huge, E500, E404, Loop})
            row(tag("lookup", fault), lookupKey, fault, {}, {lookupError}, "||1");
        // What did arrive is the reply, whatever the transfer's fate or status.
        row("lookup half-closed after a whole reply", lookupKey, HalfClose, padded(R"({"rischeckserialnum":"H7"})"),
            {saveQuestion}, "H7|Zhang San|42");
        row("lookup 404 naming a serial", lookupKey, E404, R"({"rischeckserialnum":"N4"})", {saveQuestion}, "N4|Zhang San|42");
        // No record: the defaults fill the form and the empty name hides it.
        for (Fault fault : {Refused, Stall, Garbage, HalfClose, Huge, E500, Loop})
            row(tag("record", fault), recordKey, fault, {}, {}, "A123||1");
        row("record half-closed after a whole record", recordKey, HalfClose, padded(R"({"patientname":"Half","age":9})"),
            {saveQuestion}, "A123|Half|9");
        row("record 404 carrying a record", recordKey, E404, R"({"patientname":"Err","age":9})", {saveQuestion}, "A123|Err|9");
        // Only a completed post with a 2xx status is a save, whatever the size of the reply.
        for (Fault fault : {Refused, Stall, Garbage, HalfClose, Loop, E500, E404})
            row(tag("post", fault), modifyKey, fault, {}, {saveQuestion, netError}, "A123|Zhang San|42");
        row(tag("post", Huge), modifyKey, Huge, {}, {saveQuestion}, "A123|Zhang San|42");
        // A dictionary file is replaced only by a whole 2xx dictionary.
        for (Fault fault : {Refused, Stall, Garbage, Loop})
            row(tag("refresh", fault), dictionaryKeys, fault, {}, {saveQuestion}, "A123|Zhang San|42", kept);
        row("refresh half-closed", dictionaryKeys, HalfClose, fresh, {saveQuestion}, "A123|Zhang San|42", kept);
        row("refresh 500 carrying a dictionary", dictionaryKeys, E500, fresh, {saveQuestion}, "A123|Zhang San|42", kept);
        // Each file on its own: a whole 200 reply replaces the check items only when it is an array.
        const QByteArray itemsKept = FormFiles::checkItems() + '|' + fresh;
        for (const QByteArray& body : {QByteArray(), QByteArray("<html><body>Session expired</body></html>"),
                                       QByteArray(R"({"error":"expired"})"), fresh.left(10)})
            row("check items 200: " + body, checkItemKey, Served, body, {saveQuestion}, "A123|Zhang San|42", itemsKept);
        row("check items 200: []", checkItemKey, Served, "[]", {saveQuestion}, "A123|Zhang San|42", "[]|" + fresh);
    }

    void requestFault()
    {
        QFETCH(QStringList, keys);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, boxes);
        QFETCH(QString, shown);
        QFETCH(QByteArray, dictionaries);

        route(keys, fault, body);
        for (const QString& box : boxes)
            answerer->expect(box);
        CloudPaientInfoForm form;
        form.setStudyKey(studyKey);
        form.openStudy("sess-f", studyUid);
        const auto line = [&form](const char* name) { return Access::widget<QLineEdit>(form, name); };
        QCOMPARE(line("checkIDLineEdit")->text() + '|' + line("patientNameLineEdit")->text() + '|'
                     + Access::widget<QComboBox>(form, "ageComboBox")->currentText(),
                 shown);
        if (form.isVisible()) {
            line("patientNameLineEdit")->setText(QStringLiteral("Edited Name"));
            Access::widget<QTextEdit>(form, "symptomTextEdit")->setPlainText(QStringLiteral("edited symptom"));
            Access::widget<QPushButton>(form, "enterPushButton")->click();
        }
        VERIFY_BOXES(*answerer);
        VERIFY_MET(keys.size());  // both downloads may stall in turn

        // The record is on disk and indexed before it is sent, whatever happens to it.
        const bool tried = boxes.contains(saveQuestion), saved = tried && !boxes.contains(netError);
        const QString backup = work->backupPath(studyUid);
        QCOMPARE(FormFiles::read(backup).contains("\"patientname\": \"Edited Name\""), tried);
        QCOMPARE(FormFiles::read(backup), Access::postBody(form));
        QCOMPARE(db->rows(QStringLiteral("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex")),
                 (tried ? QList<QStringList>{{studyUid, shown.section('|', 0, 0), backup}} : QList<QStringList>()));
        // A failed send keeps the edits open for another attempt and touches nothing that follows a save.
        QCOMPARE(form.isVisible(), tried && !saved);
        QCOMPARE(db->rows(QStringLiteral("SELECT PatientName FROM patient")).value(0).value(0),
                 saved ? QStringLiteral("Edited Name") : QStringLiteral("Old Name"));
        QCOMPARE(FormFiles::read(FormFiles::checkItemFile()) + '|' + FormFiles::read(FormFiles::positionFile()),
                 saved ? dictionaries : FormFiles::checkItems() + '|' + FormFiles::positions());
        QVERIFY(!QFileInfo(FormFiles::checkItemFile()).dir().entryList(QDir::Files).join(' ').contains(".cloudCheckItem"));
    }

    void uploadFault_data()
    {
        QTest::addColumn<Fault>("fault");
        for (Fault fault : {Refused, Garbage, HalfClose, E500, Loop, Huge})
            QTest::newRow(tag("upload", fault).constData()) << fault;
    }

    void uploadFault()
    {
        QFETCH(Fault, fault);

        route({"cloud/assistUrl"}, fault);
        const QString image = work->filePath(QStringLiteral("image.dcm"));
        QVERIFY(FormFiles::write(image, QByteArray(2048, 'i')));
        UploadStudyProgressForm form;
        QSignalSpy passed(&form, &UploadStudyProgressForm::sCheckNum);
        // Only a whole reply is a sent file.
        const bool sent = fault == Huge;
        QCOMPARE(UploadStudyProgressFormTestAccess::upload(form, {image}, "Patient").mid(1),
                 (QStringList{"Patient", "1", sent ? "1" : "0", sent ? "0" : "1"}));
        // With no file sent the hand-on says so as the lookup would: "{}".
        QCOMPARE(passed.count(), 1);
        const QByteArray handedOn = passed[0][0].toByteArray();
        QVERIFY(sent ? handedOn.size() == int(FaultServer::hugeBodySize) : handedOn == "{}");
        VERIFY_MET(1);
    }

private:
    // Starts the peer of @p fault and sends the requests of @p keys to it instead of the good server.
    void route(const QStringList& keys, Fault f, const QByteArray& body = QByteArray())
    {
        fault = f;
        if (fault < Served) {
            raw = std::make_unique<FaultServer>(FaultServer::Kind(fault), body.toStdString());
        } else {
            http = std::make_unique<TestServer>();
            redirects = 0;
            for (const std::string& path : {lookupPath, recordPath, modifyPath, checkItemPath, positionPath, uploadPath}) {
                for (const char* method : {"GET", "POST"}) {
                    http->setHandler(method, path, [this, body](const httplib::Request& request, httplib::Response& response) {
                        if (fault == Loop && ++redirects > loopGuard)
                            return;  // 200, empty: only a client without a limit gets here
                        response.status = fault;
                        if (fault == Loop)
                            response.set_header("Location", request.target);
                        else
                            response.set_content(body.toStdString(), "text/plain");
                    });
                }
            }
        }
        QSettings ini(FormFiles::dir("/config/clouddata.ini"), QSettings::IniFormat);
        for (const QString& key : keys)
            ini.setValue(key, ini.value(key).toString().replace(good->url(), raw ? raw->url() : http->url()));
        ini.setValue(QStringLiteral("cloud/requestTimeout"), fault == Stall ? 1 : 10);
        timer.start();
    }

    // Empty when the client met the fault as it should: it ended each request in
    // time, reached the peer unless nobody listens, gave up a redirect loop and
    // took a huge reply whole.
    QString missed(int requests) const
    {
        // A stalled request gets one second, the others ten, with room for
        // libcurl's speed window of about five seconds on a POST.
        if (timer.elapsed() > requests * ((fault == Stall ? 1 : 10) + 8) * 1000)
            return QStringLiteral("took %1 ms").arg(timer.elapsed());
        const int hits = raw ? raw->connections() : int(http->requests().size());
        if ((hits > 0) != (fault != Refused))
            return QStringLiteral("the peer was reached %1 times").arg(hits);
        if (hits >= loopGuard)
            return QStringLiteral("the redirects were followed without a limit");
        if (fault == Huge && raw->bodyBytesSent() != FaultServer::hugeBodySize)
            return QStringLiteral("the huge reply was cut at %1 bytes").arg(raw->bodyBytesSent());
        return QString();
    }

    std::unique_ptr<TestServer> good;
    // The far end of the routed requests: a raw peer for the socket faults, an HTTP one for the statuses.
    std::unique_ptr<FaultServer> raw;
    std::unique_ptr<TestServer> http;
    Fault fault = Refused;
    std::atomic<int> redirects{0};
    QElapsedTimer timer;
    std::unique_ptr<WorkFolder> work;
    std::unique_ptr<StudyDatabase> db;
    qint64 studyKey = 0;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
