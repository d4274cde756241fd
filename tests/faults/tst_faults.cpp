#include "cloudclientasynchandler.h"
#include "faultserver.h"
#include "formaccess.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "uploadfilesmodel.h"
#include "uploadstudyprogressform.h"
#include "uploadtask.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <atomic>
#include <memory>
#include <vector>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

enum class Fault { Refused, Stall, Garbage, HalfClose, Huge, Status500, Status404, RedirectLoop };
Q_DECLARE_METATYPE(Fault)

// Remembers the tasks it makes, so that a test can follow them to their end.
class RecordingHandler : public CloudClientAsyncHandler
{
public:
    UpLoadTask* newUpLoadTask(QStringList files) override
    {
        UpLoadTask* task = CloudClientAsyncHandler::newUpLoadTask(files);
        tasks.append(task);
        return task;
    }
    QList<QPointer<UpLoadTask>> tasks;
};

struct UploadStudyProgressFormTestAccess
{
    static std::shared_ptr<RecordingHandler> record(UploadStudyProgressForm& form)
    {
        auto handler = std::make_shared<RecordingHandler>();
        form.uploadClient = HttpUploadFile::instance();
        form.asyncHandler = handler;
        return handler;
    }
    static QVector<QStringList> rows(const UploadStudyProgressForm& form) { return form.filesModel->getAllData(); }
};
using ProgressAccess = UploadStudyProgressFormTestAccess;

namespace {

const QString lookupError = QStringLiteral("CheckSerialNum Query Error!");
const QString saveQuestion = QStringLiteral("Are you sure to SAVE ALL ?");
const QString netError = QStringLiteral("Net connect error,please check again!");
const QString studyUid = QStringLiteral("1.2.826.0.5");

// Far beyond any sane redirect limit: a client without one is let out of the
// loop here, so that the test fails instead of hanging.
constexpr int loopGuard = 200;

// A stalled request gets a one-second bound; the others ten, so that a fault
// that hangs where it should fail still ends the test.
int requestTimeout(Fault fault)
{
    return fault == Fault::Stall ? 1 : 10;
}

// Checks that a request ends, not how fast: room for libcurl's speed window of
// about five seconds on a POST and for a loaded machine.
qint64 boundMs(Fault fault)
{
    return (requestTimeout(fault) + 8) * 1000;
}

QByteArray padded(const QByteArray& reply)
{
    // A half-closed reply of this body delivers exactly the reply.
    return reply + QByteArray(reply.size(), ' ');
}

// The far end of one endpoint misbehaving: a raw fault server, or an HTTP
// server that answers an error status or redirects each request to itself.
class FaultyPeer
{
public:
    FaultyPeer(Fault fault, const QByteArray& body, const std::vector<std::string>& paths)
        : fault(fault)
    {
        switch (fault) {
        case Fault::Refused:
            raw = std::make_unique<FaultServer>(FaultServer::Refused);
            break;
        case Fault::Stall:
            raw = std::make_unique<FaultServer>(FaultServer::Stall);
            break;
        case Fault::Garbage:
            raw = std::make_unique<FaultServer>(FaultServer::Garbage, body.toStdString());
            break;
        case Fault::HalfClose:
            raw = std::make_unique<FaultServer>(FaultServer::HalfClose, body.toStdString());
            break;
        case Fault::Huge:
            raw = std::make_unique<FaultServer>(FaultServer::Huge);
            break;
        case Fault::Status500:
        case Fault::Status404: {
            http = std::make_unique<TestServer>();
            ScriptedReply reply;
            reply.status = fault == Fault::Status500 ? 500 : 404;
            reply.body = body.toStdString();
            reply.contentType = "text/plain";
            for (const std::string& path : paths) {
                http->setReply("GET", path, reply);
                http->setReply("POST", path, reply);
            }
            break;
        }
        case Fault::RedirectLoop: {
            http = std::make_unique<TestServer>();
            const auto loop = [this](const httplib::Request& request, httplib::Response& response) {
                if (++redirects > loopGuard)
                    return;  // 200, empty: only a client without a limit gets here
                response.status = 302;
                response.set_header("Location", request.target);
            };
            for (const std::string& path : paths) {
                http->setHandler("GET", path, loop);
                http->setHandler("POST", path, loop);
            }
            break;
        }
        }
    }

    FaultyPeer(const FaultyPeer&) = delete;
    FaultyPeer& operator=(const FaultyPeer&) = delete;

    QString base() const { return raw ? raw->url() : http->url(); }
    std::int64_t bodyBytesSent() const { return raw ? raw->bodyBytesSent() : 0; }

    // Empty when the client met the fault: it reached the peer unless nobody
    // listens, and it gave up on a redirect loop by itself.
    QString missed() const
    {
        // Connections the raw server took, or requests the HTTP server answered.
        const int hits = raw ? raw->connections() : int(http->requests().size());
        if ((hits > 0) != (fault != Fault::Refused))
            return QStringLiteral("the peer was reached %1 times").arg(hits);
        if (hits >= loopGuard)
            return QStringLiteral("the redirects were followed without a limit");
        return QString();
    }

private:
    const Fault fault;
    std::atomic<int> redirects{0};
    std::unique_ptr<FaultServer> raw;
    std::unique_ptr<TestServer> http;
};

// Every endpoint's base URL; the paths are the service's usual ones.
struct Endpoints
{
    QString lookup;
    QString record;
    QString modify;
    QString dictionaries;
    QString upload;
    int timeout = 10;
};

// Fails the test when the peer's fault was not met as it should be.
#define VERIFY_MET(peer) QVERIFY2((peer).missed().isEmpty(), qPrintable((peer).missed()))

// Fails the test when a request took longer than the bound allows.
#define VERIFY_ENDED(elapsed, bound) \
    QVERIFY2((elapsed) < (bound), qPrintable(QStringLiteral("took %1 ms").arg(elapsed)))

bool writeEndpoints(const Endpoints& e)
{
    QString ini = QStringLiteral("[cloud]\n");
    const auto line = [&ini](const char* key, const QString& base, const std::string& path) {
        ini += QLatin1String(key) + QLatin1Char('=') + base + QString::fromStdString(path) + QLatin1Char('\n');
    };
    line("positionDownLoadUrl", e.dictionaries, positionPath);
    line("checkItemDownLoadUrl", e.dictionaries, checkItemPath);
    line("uploadCurl", e.modify, modifyPath);
    line("getcheckNumCurl", e.lookup, lookupPath + "?");
    line("getCloudPatientInfoCurl", e.record, recordPath + "?");
    line("assistUrl", e.upload, uploadPath);
    ini += QStringLiteral("requestTimeout=%1\n").arg(e.timeout);
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/config/clouddata.ini");
    return FormFiles::write(path, ini.toUtf8());
}

template <typename Action>
qint64 msTaken(Action action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    return timer.elapsed();
}

Endpoints allOn(const QString& base, int timeout = 10)
{
    return {base, base, base, base, base, timeout};
}

// One endpoint on the faulty peer, the others on @p good.
bool routeToPeer(QString Endpoints::*endpoint, const FaultyPeer& peer, Fault fault, const TestServer& good)
{
    Endpoints endpoints = allOn(good.url(), requestTimeout(fault));
    endpoints.*endpoint = peer.base();
    return writeEndpoints(endpoints);
}

// One upload task started through the progress form and followed to its end.
struct FollowedTask
{
    QPointer<UpLoadTask> task;
    QString id;
    bool uploadEnded = false;
    bool taskEnded = false;
    int succeeded = -1;
    int total = -1;
    QStringList failed;
    qint64 replySize = -1;
    QObject context;  // receives the task's signals on this thread, as the progress form does

    FollowedTask(const QStringList& paths, const QString& name)
    {
        UploadStudyProgressForm* progress = UploadStudyProgressForm::getInstance();
        const auto handler = ProgressAccess::record(*progress);
        progress->addUploadTask(paths, name, QByteArray());
        if (handler->tasks.size() != 1)
            return;
        task = handler->tasks.first();
        id = QString::number(task->getTaskId());
        QObject::connect(task, &UpLoadTask::finshUpLoad, &context,
                         [this](int sent, int all, const QStringList& failures, const QByteArray& reply) {
                             uploadEnded = true;
                             succeeded = sent;
                             total = all;
                             failed = failures;
                             replySize = reply.size();
                         });
        QObject::connect(task, &UpLoadTask::finshTask, &context, [this] { taskEnded = true; });
    }
};

QStringList rowOf(const QString& taskName)
{
    for (const QStringList& row : ProgressAccess::rows(*UploadStudyProgressForm::getInstance())) {
        if (row.value(1) == taskName)
            return row;
    }
    return {};
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lookupFault_data();
    void lookupFault();
    void recordFault_data();
    void recordFault();
    void saveFault_data();
    void saveFault();
    void refreshFault_data();
    void refreshFault();
    void uploadFault_data();
    void uploadFault();
    void deletingTaskStopsStalledUpload();

private:
    std::unique_ptr<CloudPaientInfoForm> openedForm();
    void save(CloudPaientInfoForm& form, const QString& name);
    QString backupPath() const;
    QList<QStringList> indexRows() const;
    QStringList patientRow() const;
    QStringList imageFiles(int count) const;

    std::unique_ptr<TestServer> good;
    std::unique_ptr<QTemporaryDir> work;
    QString previousDir;
    std::unique_ptr<StudyDatabase> db;
    qint64 studyKey = 0;
    qint64 patientKey = 0;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestFaults::init()
{
    FormFiles::clear();
    QVERIFY(FormFiles::writeDictionaries());
    good = std::make_unique<TestServer>();
    const auto ok = [](const QByteArray& body) {
        ScriptedReply reply;
        reply.body = body.toStdString();
        return reply;
    };
    good->setReply("GET", lookupPath, ok(R"({"rischeckserialnum":"A123"})"));
    good->setReply("GET", recordPath, ok(QByteArray::fromStdString(fullRecord)));
    good->setReply("POST", modifyPath, ok("ok"));
    good->setReply("GET", checkItemPath, ok(FormFiles::checkItems()));
    good->setReply("GET", positionPath, ok(FormFiles::positions()));
    good->setReply("POST", uploadPath, ok(R"({"rischeckserialnum":"U1"})"));
    QVERIFY(writeEndpoints(allOn(good->url())));

    // Backups go to ../backup from the working directory.
    previousDir = QDir::currentPath();
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
    QVERIFY(QDir(work->path()).mkdir(QStringLiteral("run")));
    QVERIFY(QDir::setCurrent(work->filePath(QStringLiteral("run"))));

    db = std::make_unique<StudyDatabase>();
    patientKey = db->addPatient(QStringLiteral("Old Name"), QStringLiteral("F"));
    studyKey = db->addStudy(patientKey, studyUid);

    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestFaults::cleanup()
{
    answerer.reset();
    db.reset();
    QDir::setCurrent(previousDir);
    work.reset();
    good.reset();
    FormFiles::clear();
}

std::unique_ptr<CloudPaientInfoForm> TestFaults::openedForm()
{
    auto form = std::make_unique<CloudPaientInfoForm>();
    form->setStudyKey(studyKey);
    form->openStudy("sess-f", studyUid);
    return form;
}

void TestFaults::save(CloudPaientInfoForm& form, const QString& name)
{
    Access::widget<QLineEdit>(form, "patientNameLineEdit")->setText(name);
    Access::widget<QTextEdit>(form, "symptomTextEdit")->setPlainText(QStringLiteral("edited symptom"));
    Access::widget<QPushButton>(form, "enterPushButton")->click();
}

QString TestFaults::backupPath() const
{
    return work->filePath(QStringLiteral("backup/CloudPatientCaseInfo_") + studyUid + QStringLiteral(".json"));
}

QList<QStringList> TestFaults::indexRows() const
{
    return db->rows(QStringLiteral("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex"));
}

QStringList TestFaults::patientRow() const
{
    return db->rows(QStringLiteral("SELECT PatientName, PatientSex FROM patient WHERE pk=%1").arg(patientKey)).value(0);
}

QStringList TestFaults::imageFiles(int count) const
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = work->filePath(QStringLiteral("images/im%1.dcm").arg(i));
        if (FormFiles::write(path, QByteArray(2048, char('a' + i))))
            files << path;
    }
    return files;
}

void TestFaults::lookupFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("serial");

    // Nothing usable arrives: the error box, and the study on show stays.
    QTest::newRow("refused") << Fault::Refused << QByteArray() << lookupError << "A1";
    QTest::newRow("stall") << Fault::Stall << QByteArray() << lookupError << "A1";
    QTest::newRow("garbage") << Fault::Garbage << QByteArray() << lookupError << "A1";
    QTest::newRow("half-close") << Fault::HalfClose << QByteArray() << lookupError << "A1";
    QTest::newRow("100 MB") << Fault::Huge << QByteArray() << lookupError << "A1";
    QTest::newRow("500") << Fault::Status500 << QByteArray("Internal Server Error") << lookupError << "A1";
    QTest::newRow("404") << Fault::Status404 << QByteArray() << lookupError << "A1";
    QTest::newRow("redirect loop") << Fault::RedirectLoop << QByteArray() << lookupError << "A1";
    // What did arrive is the reply, whatever the transfer's fate or status.
    QTest::newRow("half-close after a whole reply")
        << Fault::HalfClose << padded(R"({"rischeckserialnum":"H7"})") << QString() << "H7";
    QTest::newRow("404 naming a serial number")
        << Fault::Status404 << QByteArray(R"({"rischeckserialnum":"N4"})") << QString() << "N4";
}

void TestFaults::lookupFault()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, body);
    QFETCH(QString, box);
    QFETCH(QString, serial);

    FaultyPeer peer(fault, body, {lookupPath});
    QVERIFY(routeToPeer(&Endpoints::lookup, peer, fault, *good));

    CloudPaientInfoForm form;
    QMetaObject::invokeMethod(&form, "onCheckNum", Q_ARG(QByteArray, R"({"rischeckserialnum":"A1"})"));
    QVERIFY(form.isVisible());

    if (!box.isEmpty())
        answerer->expect(box);
    const qint64 elapsed = msTaken([&] { form.openStudy("sess-f", studyUid); });
    VERIFY_BOXES(*answerer);

    VERIFY_ENDED(elapsed, boundMs(fault));
    QCOMPARE(Access::widget<QLineEdit>(form, "checkIDLineEdit")->text(), serial);
    QCOMPARE(Access::widget<QLineEdit>(form, "patientNameLineEdit")->text(), QStringLiteral("Zhang San"));
    QVERIFY(form.isVisible());
    QCOMPARE(good->requests(recordPath).size(), size_t(box.isEmpty() ? 2 : 1));

    VERIFY_MET(peer);
    // The whole reply went out and was judged, not a cut-off part of it.
    if (fault == Fault::Huge)
        QCOMPARE(peer.bodyBytesSent(), FaultServer::hugeBodySize);
}

void TestFaults::recordFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");

    // No record: the defaults fill the form and the empty name hides it.
    QTest::newRow("refused") << Fault::Refused << QByteArray() << QString();
    QTest::newRow("stall") << Fault::Stall << QByteArray() << QString();
    QTest::newRow("garbage") << Fault::Garbage << QByteArray() << QString();
    QTest::newRow("half-close") << Fault::HalfClose << QByteArray() << QString();
    QTest::newRow("100 MB") << Fault::Huge << QByteArray() << QString();
    QTest::newRow("500") << Fault::Status500 << QByteArray("Internal Server Error") << QString();
    QTest::newRow("404") << Fault::Status404 << QByteArray() << QString();
    QTest::newRow("redirect loop") << Fault::RedirectLoop << QByteArray() << QString();
    QTest::newRow("half-close after a whole record")
        << Fault::HalfClose << padded(R"({"patientname":"Half","age":9})") << "Half";
    QTest::newRow("404 carrying a record") << Fault::Status404 << QByteArray(R"({"patientname":"Err","age":9})")
                                           << "Err";
}

void TestFaults::recordFault()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, body);
    QFETCH(QString, name);

    FaultyPeer peer(fault, body, {recordPath});
    QVERIFY(routeToPeer(&Endpoints::record, peer, fault, *good));

    std::unique_ptr<CloudPaientInfoForm> form;
    const qint64 elapsed = msTaken([&] { form = openedForm(); });
    VERIFY_BOXES(*answerer);

    VERIFY_ENDED(elapsed, boundMs(fault));
    QCOMPARE(Access::widget<QLineEdit>(*form, "checkIDLineEdit")->text(), QStringLiteral("A123"));
    QCOMPARE(Access::widget<QLineEdit>(*form, "patientNameLineEdit")->text(), name);
    QCOMPARE(Access::widget<QComboBox>(*form, "ageComboBox")->currentText(),
             name.isEmpty() ? QStringLiteral("1") : QStringLiteral("9"));
    QCOMPARE(form->isVisible(), !name.isEmpty());

    VERIFY_MET(peer);
    if (fault == Fault::Huge)
        QCOMPARE(peer.bodyBytesSent(), FaultServer::hugeBodySize);
}

void TestFaults::saveFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("sent");

    QTest::newRow("refused") << Fault::Refused << false;
    QTest::newRow("stall") << Fault::Stall << false;
    QTest::newRow("garbage") << Fault::Garbage << false;
    QTest::newRow("half-close") << Fault::HalfClose << false;
    QTest::newRow("redirect loop") << Fault::RedirectLoop << false;
    // A completed transfer is a save, whatever the status or size of the reply.
    QTest::newRow("100 MB") << Fault::Huge << true;
    QTest::newRow("500") << Fault::Status500 << true;
    QTest::newRow("404") << Fault::Status404 << true;
}

void TestFaults::saveFault()
{
    QFETCH(Fault, fault);
    QFETCH(bool, sent);

    FaultyPeer peer(fault, QByteArray("not looked at"), {modifyPath});
    QVERIFY(routeToPeer(&Endpoints::modify, peer, fault, *good));

    const auto form = openedForm();
    QVERIFY(form->isVisible());
    answerer->expect(saveQuestion);
    if (!sent)
        answerer->expect(netError);
    const qint64 elapsed = msTaken([&] { save(*form, QStringLiteral("Edited Name")); });
    VERIFY_BOXES(*answerer);
    VERIFY_ENDED(elapsed, boundMs(fault));

    // The record is on disk and indexed before it is sent, whatever happens to it.
    const QByteArray body = Access::postBody(*form);
    QVERIFY(body.contains("\"patientname\": \"Edited Name\""));
    QCOMPARE(FormFiles::read(backupPath()), body);
    const QStringList indexRow{studyUid, QStringLiteral("A123"), QFileInfo(backupPath()).absoluteFilePath()};
    QCOMPARE(indexRows(), QList<QStringList>{indexRow});
    VERIFY_MET(peer);

    if (sent) {
        QVERIFY(!form->isVisible());
        QCOMPARE(patientRow(), (QStringList{"Edited Name", "M"}));
        QCOMPARE(good->requests(checkItemPath).size(), size_t(1));
        QCOMPARE(good->requests(positionPath).size(), size_t(1));
        if (fault == Fault::Huge)
            QCOMPARE(peer.bodyBytesSent(), FaultServer::hugeBodySize);
        return;
    }
    // A failed send keeps the operator's edits open for another attempt and
    // touches nothing that follows a save.
    QVERIFY(form->isVisible());
    QCOMPARE(Access::widget<QLineEdit>(*form, "patientNameLineEdit")->text(), QStringLiteral("Edited Name"));
    QCOMPARE(Access::widget<QTextEdit>(*form, "symptomTextEdit")->toPlainText(), QStringLiteral("edited symptom"));
    QCOMPARE(patientRow(), (QStringList{"Old Name", "F"}));
    QVERIFY(good->requests(checkItemPath).empty());
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), FormFiles::checkItems());
}

void TestFaults::refreshFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("written");

    // Each dictionary file takes what arrived, also nothing at all.
    const QByteArray dictionary = R"([{"checkitemid":"9","checkitem":"Half"}])";
    QTest::newRow("refused") << Fault::Refused << QByteArray() << QByteArray();
    QTest::newRow("stall") << Fault::Stall << QByteArray() << QByteArray();
    QTest::newRow("garbage") << Fault::Garbage << QByteArray() << QByteArray();
    QTest::newRow("half-close") << Fault::HalfClose << dictionary << dictionary.left(dictionary.size() / 2);
    const QByteArray error = "Internal Server Error";
    QTest::newRow("500") << Fault::Status500 << error << error;
    QTest::newRow("redirect loop") << Fault::RedirectLoop << QByteArray() << QByteArray();
}

void TestFaults::refreshFault()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, written);

    FaultyPeer peer(fault, body, {checkItemPath, positionPath});
    QVERIFY(routeToPeer(&Endpoints::dictionaries, peer, fault, *good));

    const auto form = openedForm();
    answerer->expect(saveQuestion);
    const qint64 elapsed = msTaken([&] { save(*form, QStringLiteral("Refreshed")); });
    VERIFY_BOXES(*answerer);

    // Both downloads may stall in turn.
    VERIFY_ENDED(elapsed, 2 * boundMs(fault));
    QVERIFY(!form->isVisible());
    QCOMPARE(patientRow(), (QStringList{"Refreshed", "M"}));
    QCOMPARE(good->requests(modifyPath).size(), size_t(1));
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), written);
    QCOMPARE(FormFiles::read(FormFiles::positionFile()), written);
    VERIFY_MET(peer);
}

void TestFaults::uploadFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("succeeded");

    QTest::newRow("refused") << Fault::Refused << 2 << 0;
    QTest::newRow("garbage") << Fault::Garbage << 2 << 0;
    QTest::newRow("half-close") << Fault::HalfClose << 2 << 0;
    QTest::newRow("500") << Fault::Status500 << 2 << 0;
    QTest::newRow("404") << Fault::Status404 << 2 << 0;
    QTest::newRow("redirect loop") << Fault::RedirectLoop << 2 << 0;
    QTest::newRow("100 MB") << Fault::Huge << 1 << 1;
}

void TestFaults::uploadFault()
{
    QFETCH(Fault, fault);
    QFETCH(int, files);
    QFETCH(int, succeeded);

    FaultyPeer peer(fault, QByteArray(), {uploadPath});
    QVERIFY(routeToPeer(&Endpoints::upload, peer, fault, *good));

    const QStringList paths = imageFiles(files);
    QCOMPARE(paths.size(), files);
    const QString name = QStringLiteral("upload against ") + QLatin1String(QTest::currentDataTag());
    FollowedTask followed(paths, name);
    QVERIFY(followed.task);

    // The progress form deletes the task once it has said its last word.
    QTRY_VERIFY_WITH_TIMEOUT(followed.task.isNull(), 20000);
    QVERIFY(followed.uploadEnded);
    QVERIFY(followed.taskEnded);
    QCOMPARE(followed.total, files);
    QCOMPARE(followed.succeeded, succeeded);
    QCOMPARE(followed.failed, succeeded == 0 ? paths : QStringList());
    QCOMPARE(std::int64_t(followed.replySize), succeeded == 0 ? 0 : FaultServer::hugeBodySize);
    QCOMPARE(rowOf(name), (QStringList{followed.id, name, QString::number(files), QString::number(succeeded),
                                       QString::number(files - succeeded)}));

    VERIFY_MET(peer);
}

void TestFaults::deletingTaskStopsStalledUpload()
{
    FaultServer stall(FaultServer::Stall);
    Endpoints endpoints = allOn(good->url());
    endpoints.upload = stall.url();
    QVERIFY(writeEndpoints(endpoints));

    const QString name = QStringLiteral("stalled upload");
    FollowedTask followed(imageFiles(1), name);
    QVERIFY(followed.task);

    QTRY_COMPARE_WITH_TIMEOUT(stall.openConnections(), 1, 10000);
    QTest::qWait(200);
    QVERIFY(!followed.uploadEnded);

    // The task polls for its end at least once a second, even on a silent line.
    const qint64 elapsed = msTaken([&] { delete followed.task.data(); });
    VERIFY_ENDED(elapsed, boundMs(Fault::Stall));
    QVERIFY(followed.task.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(stall.openConnections(), 0, 5000);

    // A deleted task says nothing more; its row keeps what it last showed.
    QTest::qWait(100);
    QVERIFY(!followed.uploadEnded);
    QVERIFY(!followed.taskEnded);
    QCOMPARE(rowOf(name), (QStringList{followed.id, name, "1", "0", "0"}));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
