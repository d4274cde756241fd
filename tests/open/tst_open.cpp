#include "formaccess.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "uploadaccess.h"
#include "uploadstudyprogressform.h"

#include <QDateTimeEdit>
#include <QSignalSpy>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <time.h>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;
using namespace std::string_literals;

namespace {

// The fields in form order, joined by "|"; a box without selection shows as -1.
QString shown(const CloudPaientInfoForm& form)
{
    QStringList texts;
    for (const char* edit : {"checkIDLineEdit", "patientNameLineEdit"})
        texts << Access::widget<QLineEdit>(form, edit)->text();
    for (const char* box : {"sexComboBox", "ageComboBox", "ageUnitComboBox"})
        texts << Access::widget<QComboBox>(form, box)->currentText();
    texts << Access::widget<QDateTimeEdit>(form, "checkDateTimeEdit")->text();
    for (const char* box : {"studyPositionComboBox", "checkItemComboBox"}) {
        const auto* combo = Access::widget<QComboBox>(form, box);
        texts << (combo->currentIndex() < 0 ? QStringLiteral("-1") : combo->currentText());
    }
    for (const char* edit : {"symptomTextEdit", "checkResultTextEdit", "diagnoseTextEdit"})
        texts << Access::widget<QTextEdit>(form, edit)->toPlainText();
    return texts.join(QLatin1Char('|'));
}

// A cloud that knows a study once an image of it has arrived. Each study's
// image is named after its UID; its upload is held until the test lets it go,
// and a study listed as refused gets 500 instead. Serial numbers and patient
// names name the study.
class UploadingCloud
{
public:
    explicit UploadingCloud(TestServer& server)
    {
        server.setHandler("GET", lookupPath, [this](const httplib::Request& request, httplib::Response& response) {
            const std::string uid = request.get_param_value("studyinstanceuid");
            std::lock_guard<std::mutex> lock(mutex);
            response.set_content(known.count(uid) ? R"({"rischeckserialnum":"S-)" + uid + R"("})" : "{}", "application/json");
        });
        server.setHandler("GET", recordPath, [](const httplib::Request& request, httplib::Response& response) {
            const std::string uid = request.get_param_value("checkserialnum").substr(2);
            response.set_content(R"({"patientname":"P-)" + uid + R"(","checkitemid":1})", "application/json");
        });
        server.setHandler("POST", uploadPath, [this](const httplib::Request& request, httplib::Response& response) {
            const std::string file = request.files.empty() ? std::string() : request.files.begin()->second.filename;
            const std::string uid = file.substr(0, file.rfind('.'));
            for (int i = 0; i < 3000 && !isReleased(uid); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::lock_guard<std::mutex> lock(mutex);
            if (refused.count(uid)) {
                response.status = 500;
                return;
            }
            known.insert(uid);
            // Not the serial number: a form must take the one its own lookup names.
            response.set_content(R"({"rischeckserialnum":"UPLOAD"})", "application/json");
        });
    }

    void know(const std::string& uid) { std::lock_guard<std::mutex> lock(mutex); known.insert(uid); }
    void refuse(const std::string& uid) { std::lock_guard<std::mutex> lock(mutex); refused.insert(uid); }
    void release(const std::string& uid) { std::lock_guard<std::mutex> lock(mutex); released.insert(uid); }
    // Lets every held upload go, so that none outlives the test.
    void releaseAll() { std::lock_guard<std::mutex> lock(mutex); all = true; }

private:
    bool isReleased(const std::string& uid)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return all || released.count(uid);
    }

    std::mutex mutex;
    std::set<std::string> known, refused, released;
    bool all = false;
};

} // namespace

class TestOpen : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
    std::unique_ptr<UploadingCloud> cloud;
    std::unique_ptr<StudyDatabase> db;
    std::unique_ptr<QTemporaryDir> images;
    std::vector<std::unique_ptr<CloudPaientInfoForm>> forms;

    // A new form for the study @p uid of the local database, its image at hand.
    CloudPaientInfoForm* formFor(const QString& uid)
    {
        if (!cloud) {
            cloud = std::make_unique<UploadingCloud>(*server);
            db = std::make_unique<StudyDatabase>();
            images = std::make_unique<QTemporaryDir>();
        }
        // Names stay in the process's one upload window, and a name there blocks a further upload.
        static int patients = 0;
        const qint64 study = db->addStudy(db->addPatient(QStringLiteral("Patient %1").arg(++patients), "F"), uid);
        const QString image = images->filePath(uid + QStringLiteral(".dcm"));
        if (!FormFiles::write(image, "DICM"))
            qFatal("cannot write %s", qPrintable(image));
        db->addImage(db->addSeries(study), image);
        forms.push_back(std::make_unique<CloudPaientInfoForm>());
        forms.back()->setStudyKey(study);
        return forms.back().get();
    }

    // Opens the unknown study of @p form and accepts its upload.
    void openAndUpload(CloudPaientInfoForm& uploading, const QString& uid, const QByteArray& session = "sess-up")
    {
        answerer->expect(notInCloud);
        uploading.openStudy(session, uid);
    }

    static QString serialShown(const CloudPaientInfoForm& form)
    {
        return Access::widget<QLineEdit>(form, "checkIDLineEdit")->text();
    }

private slots:
    void initTestCase()
    {
        // Eight hours east of UTC, so that local time differs from UTC.
        qputenv("TZ", "CST-8");
        tzset();
    }

    void init()
    {
        server = std::make_unique<TestServer>();
        QVERIFY(serveStudy(*server));
        answerer = std::make_unique<MessageBoxAnswerer>();
        form = std::make_unique<CloudPaientInfoForm>();
        UploadStudyProgressForm::getInstance()->show();
    }

    void cleanup()
    {
        if (cloud)
            cloud->releaseAll();
        forms.clear();
        form.reset();
        // The server waits for its handlers, which use the cloud.
        server.reset();
        cloud.reset();
        db.reset();
        images.reset();
        FormFiles::clear();
        VERIFY_BOXES(*answerer);
    }

    void record_data()
    {
        QTest::addColumn<QByteArray>("serial");  // what the lookup names
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("progressShown");

        const QByteArray full = QByteArray::fromStdString(fullRecord);
        // The lookup's serial number is shown, not the record's own; markup shows as rich text.
        const QString shownFull = "|Zhang San|M|42|Y|2020-09-13 20:26:40|Chest|MR Knee|cough for 3 days|x-ray clear|bronchitis";
        const QString epoch = QStringLiteral("|1970-01-01 08:00:00|");
        QTest::newRow("whole record") << QByteArray("A123") << full << "A123" + shownFull << true << false;
        // The record has a name, but without a serial number the form hides.
        QTest::newRow("no serial number") << QByteArray() << full << shownFull << false << false;
        QTest::newRow("age 0") << QByteArray("A123") << QByteArray(R"({"patientname":"P","age":0})") << "A123|P||1|" + epoch + "Head|CT Head|||" << true << false;
        QTest::newRow("codes outside the lists") << QByteArray("A123") << QByteArray(R"({"patientname":"P","age":250,"sex":"U"})") << "A123|P|U|250|" + epoch + "Head|CT Head|||" << true << false;
        QTest::newRow("check item -1") << QByteArray("A123") << QByteArray(R"({"patientname":"P","checkitemid":-1,"studypositionid":1})") << "A123|P||1|" + epoch + "Chest|-1|||" << true << true;
        QTest::newRow("check item beyond the list") << QByteArray("A123") << QByteArray(R"({"patientname":"P","checkitemid":3})") << "A123|P||1|" + epoch + "Head|-1|||" << true << false;
        QTest::newRow("position -2") << QByteArray("A123") << QByteArray(R"({"patientname":"P","studypositionid":-2,"checkitemid":1})") << "A123|P||1|" + epoch + "-1|CT Chest|||" << true << false;
        QTest::newRow("no patient name") << QByteArray("A123") << QByteArray(R"({"sex":"F","age":3,"ageunit":"M"})") << "A123||F|3|M" + epoch + "Head|CT Head|||" << false << false;
    }

    void record()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, record);
        QFETCH(QString, fields);
        QFETCH(bool, visible);
        QFETCH(bool, progressShown);

        // After another study, closed: closing only hides, and the next study comes with its own session.
        form->openStudy("sess-1", QStringLiteral("1.2.2"));
        form->close();
        UploadStudyProgressForm::getInstance()->show();
        server->clearRequests();
        server->setReply("GET", lookupPath, scripted("{\"rischeckserialnum\":\"" + serial.toStdString() + "\"}"));
        server->setReply("GET", recordPath, scripted(record.toStdString()));
        form->openStudy("sess-2", QStringLiteral("1.2.3"));
        const auto lookups = server->requests(lookupPath);
        const auto records = server->requests(recordPath);
        QCOMPARE(lookups.size(), size_t(1));
        QCOMPARE(records.size(), size_t(1));
        QCOMPARE(lookups[0].target, lookupPath + "?studyinstanceuid=1.2.3");
        QCOMPARE(records[0].target, recordPath + "?checkserialnum=" + serial.toStdString());
        QCOMPARE(records[0].header("Cookie"), "JSESSIONID=sess-2"s);
        QCOMPARE(HttpUploadFile::instance()->getJsessionid(), QByteArray("sess-2"));
        QCOMPARE(shown(*form), fields);
        QCOMPARE(form->isVisible(), visible);
        QCOMPARE(UploadStudyProgressForm::getInstance()->isVisible(), progressShown);
    }

    void uploadDeclined()
    {
        form->openStudy("sess-1", QStringLiteral("1.2.3"));
        const QString before = shown(*form);
        server->clearRequests();
        server->setReply("GET", lookupPath, scripted("{}"));
        // The warning offers only OK; closing its window declines.
        answerer->expect(notInCloud, MessageBoxAnswerer::CloseWindow);
        UploadStudyProgressForm::getInstance()->hide();
        form->openStudy("sess-1", QStringLiteral("1.2.4"));

        QVERIFY(form->isVisible());
        QCOMPARE(shown(*form), before);
        QCOMPARE(server->requests().size(), size_t(1));
        QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
    }

    void waitingFormsTakeOnlyTheirOwn_data()
    {
        QTest::addColumn<bool>("firstEndsFirst");
        QTest::newRow("first upload ends first") << true;
        QTest::newRow("second upload ends first") << false;
    }

    // Two forms wait for their uploads while a third shows a known study and its operator types. Every
    // upload's end reaches every form; only the form that started it loads a record: its own study's,
    // looked up again.
    void waitingFormsTakeOnlyTheirOwn()
    {
        QFETCH(bool, firstEndsFirst);
        CloudPaientInfoForm* known = formFor(QStringLiteral("1.1"));
        cloud->know("1.1");
        known->openStudy("sess-a", QStringLiteral("1.1"));
        auto* typing = Access::widget<QTextEdit>(*known, "symptomTextEdit");
        typing->setPlainText(QStringLiteral("typed, not saved"));

        const QString uids[] = {QStringLiteral("3.1"), QStringLiteral("3.2")};
        CloudPaientInfoForm* waiting[] = {formFor(uids[0]), formFor(uids[1])};
        openAndUpload(*waiting[0], uids[0], "up\r\nX-Injected: 1");
        openAndUpload(*waiting[1], uids[1]);
        // Each repeats its lookup once; "{}" again leaves the record to the upload's end.
        QCOMPARE(server->requests(lookupPath).size(), size_t(5));
        QVERIFY(!waiting[0]->isVisible() && UploadStudyProgressForm::getInstance()->isVisible());
        const int early = firstEndsFirst ? 0 : 1, late = 1 - early;

        cloud->release(uids[early].toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(serialShown(*waiting[early]), "S-" + uids[early], 20000);
        // The other form still waits: hidden, nothing loaded, no record asked for.
        QVERIFY(!waiting[late]->isVisible());
        QCOMPARE(serialShown(*waiting[late]), QString());
        QCOMPARE(server->requests(recordPath).size(), size_t(2));

        cloud->release(uids[late].toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(serialShown(*waiting[late]), "S-" + uids[late], 20000);
        QCOMPARE(Access::widget<QLineEdit>(*waiting[late], "patientNameLineEdit")->text(), "P-" + uids[late]);
        QCOMPARE(serialShown(*waiting[early]), "S-" + uids[early]);
        QCOMPARE(server->requests(recordPath).size(), size_t(3));
        QVERIFY(waiting[0]->isVisible() && waiting[1]->isVisible());
        QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
        QCOMPARE(serialShown(*known), QStringLiteral("S-1.1"));
        QCOMPARE(typing->toPlainText(), QStringLiteral("typed, not saved"));
        // An upload sends the session up to its line break.
        std::set<std::string> cookies;
        for (const RecordedRequest& upload : server->requests(uploadPath)) {
            cookies.insert(upload.header("Cookie"));
            QCOMPARE(upload.headerCount("X-Injected"), size_t(0));
        }
        QCOMPARE(cookies, (std::set<std::string>{"JSESSIONID=sess-up", "JSESSIONID=up"}));
    }

    void ownUploadEnds_data()
    {
        QTest::addColumn<QString>("meanwhile");  // while the upload runs: "reopened", "loaded" or "refused"
        QTest::addColumn<QString>("serial");  // shown at the end
        QTest::addColumn<QString>("asked");  // lookups and records after the end
        QTest::newRow("reopened twice, declined") << "reopened" << "S-4.1" << "1 1";
        // Once the form's own lookup names the record, the upload's end changes nothing.
        QTest::newRow("record loaded before the end") << "loaded" << "S-4.1" << "0 0";
        // Nothing asked after a failed upload, and the window shows the failed file.
        QTest::newRow("upload refused") << "refused" << "" << "0 0";
    }

    // The end of a form's own upload loads the record that its lookup names, once.
    void ownUploadEnds()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, serial);
        QFETCH(QString, asked);
        CloudPaientInfoForm* uploading = formFor(QStringLiteral("4.1"));
        UploadStudyProgressForm* progress = UploadStudyProgressForm::getInstance();
        if (meanwhile == "refused")
            cloud->refuse("4.1");
        openAndUpload(*uploading, QStringLiteral("4.1"));
        const QString task = QString::number(progress->nextStudyTaskId() - 1);
        auto* typing = Access::widget<QTextEdit>(*uploading, "symptomTextEdit");
        if (meanwhile == "reopened") {
            // Two more opens while the upload runs, declined: three connections in all.
            for (int i = 0; i < 2; ++i) {
                answerer->expect(notInCloud, MessageBoxAnswerer::CloseWindow);
                uploading->openStudy("sess-up", QStringLiteral("4.1"));
            }
            // A reply handed on for no task of this form's is not taken.
            emit progress->sCheckNum(R"({"rischeckserialnum":"X9"})");
            QVERIFY(server->requests(recordPath).empty());
        } else if (meanwhile == "loaded") {
            cloud->know("4.1");
            uploading->openStudy("sess-up", QStringLiteral("4.1"));
            QCOMPARE(serialShown(*uploading), QStringLiteral("S-4.1"));
            typing->setPlainText(QStringLiteral("typed after the load"));
        }

        server->clearRequests();
        QSignalSpy handedOn(progress, &UploadStudyProgressForm::sCheckNum);
        cloud->release("4.1");
        QTRY_VERIFY_WITH_TIMEOUT(!handedOn.isEmpty(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(serialShown(*uploading), serial, 20000);
        QCOMPARE(QStringLiteral("%1 %2").arg(server->requests(lookupPath).size()).arg(server->requests(recordPath).size()),
                 asked);
        QCOMPARE(uploading->isVisible(), !serial.isEmpty());
        QCOMPARE(typing->toPlainText(), meanwhile == "loaded" ? QStringLiteral("typed after the load") : QString());
        if (meanwhile == "refused") {
            QCOMPARE(handedOn.at(0).at(0).toByteArray(), QByteArray("{}"));
            QVERIFY(progress->isVisible());
            QVERIFY(UploadStudyProgressFormTestAccess::rows(*progress).contains(
                QStringList{task, Access::patientName(*uploading), "1", "0", "1"}));
        }
    }
};

QTEST_MAIN(TestOpen)
#include "tst_open.moc"
