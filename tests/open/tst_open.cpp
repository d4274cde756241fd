#include "formaccess.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "uploadstudyprogressform.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

#include <time.h>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

const QString notInCloud =
    QStringLiteral("The information did not exist in Cloud, you have to upload the images to edit the information!");

ScriptedReply ok(const std::string& body)
{
    ScriptedReply reply;
    reply.body = body;
    return reply;
}

struct Shown
{
    QString serial;
    QString name;
    QString sex;
    QString age;
    QString ageUnit;
    QString time;
    QString position;
    QString checkItem;
    QString symptom;
    QString result;
    QString diagnosis;
};

Shown shown(const CloudPaientInfoForm& form)
{
    return {Access::widget<QLineEdit>(form, "checkIDLineEdit")->text(),
            Access::widget<QLineEdit>(form, "patientNameLineEdit")->text(),
            Access::widget<QComboBox>(form, "sexComboBox")->currentText(),
            Access::widget<QComboBox>(form, "ageComboBox")->currentText(),
            Access::widget<QComboBox>(form, "ageUnitComboBox")->currentText(),
            Access::widget<QDateTimeEdit>(form, "checkDateTimeEdit")->text(),
            Access::widget<QComboBox>(form, "studyPositionComboBox")->currentText(),
            Access::widget<QComboBox>(form, "checkItemComboBox")->currentText(),
            Access::widget<QTextEdit>(form, "symptomTextEdit")->toPlainText(),
            Access::widget<QTextEdit>(form, "checkResultTextEdit")->toPlainText(),
            Access::widget<QTextEdit>(form, "diagnoseTextEdit")->toPlainText()};
}

bool operator==(const Shown& a, const Shown& b)
{
    return a.serial == b.serial && a.name == b.name && a.sex == b.sex && a.age == b.age && a.ageUnit == b.ageUnit
           && a.time == b.time && a.position == b.position && a.checkItem == b.checkItem && a.symptom == b.symptom
           && a.result == b.result && a.diagnosis == b.diagnosis;
}

} // namespace

class TestOpen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void knownStudyIsShown();
    void serialNumberCut_data();
    void serialNumberCut();
    void replyCutAtZeroByte();
    void uploadDeclined_data();
    void uploadDeclined();
    void lookupError_data();
    void lookupError();
    void recordEdgeCases_data();
    void recordEdgeCases();
    void eachOpenAddsOneConnection();
    void unknownStudyUploadsThenLoads();

private:
    std::unique_ptr<CloudPaientInfoForm> openedForm(const QByteArray& session = "sess-1",
                                                    const QString& uid = QStringLiteral("1.2.840.9"));

    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestOpen::initTestCase()
{
    // Eight hours east of UTC, so that local time differs from UTC.
    qputenv("TZ", "CST-8");
    tzset();
}

void TestOpen::init()
{
    FormFiles::clear();
    server = std::make_unique<TestServer>();
    QVERIFY(FormFiles::writeDictionaries());
    QVERIFY(FormFiles::writeEndpoints(server->url()));
    server->setReply("GET", lookupPath, ok(R"({"rischeckserialnum":"A123"})"));
    server->setReply("GET", recordPath, ok(fullRecord));
    answerer = std::make_unique<MessageBoxAnswerer>();
    UploadStudyProgressForm::getInstance()->hide();
}

void TestOpen::cleanup()
{
    answerer.reset();
    server.reset();
    FormFiles::clear();
}

std::unique_ptr<CloudPaientInfoForm> TestOpen::openedForm(const QByteArray& session, const QString& uid)
{
    auto form = std::make_unique<CloudPaientInfoForm>();
    form->openStudy(session, uid);
    return form;
}

void TestOpen::knownStudyIsShown()
{
    UploadStudyProgressForm::getInstance()->show();
    const auto form = openedForm("sess-1", QStringLiteral("1.2.840.113619.2.1"));

    const auto lookups = server->requests(lookupPath);
    QCOMPARE(lookups.size(), size_t(1));
    QCOMPARE(lookups[0].target, lookupPath + "?studyinstanceuid=1.2.840.113619.2.1");
    QCOMPARE(lookups[0].header("Cookie"), std::string("JSESSIONID=sess-1"));
    const auto records = server->requests(recordPath);
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records[0].target, recordPath + "?checkserialnum=A123");
    QCOMPARE(records[0].header("Cookie"), std::string("JSESSIONID=sess-1"));

    QCOMPARE(HttpUploadFile::instance()->getJsessionid(), QByteArray("sess-1"));
    QCOMPARE(Access::sessionId(*form), std::string("sess-1"));
    QCOMPARE(Access::studyUid(*form), QStringLiteral("1.2.840.113619.2.1"));
    QCOMPARE(Access::risCheckSerialNum(*form), QStringLiteral("A123"));
    QCOMPARE(Access::record(*form).checkSerialNum, QStringLiteral("RIS-9"));

    const Shown expected{"A123", "Zhang San", "M", "42", "Y", "2020-09-13 20:26:40", "Chest", "MR Knee",
                         "cough for 3 days", "x-ray clear", "bronchitis"};
    QVERIFY(shown(*form) == expected);
    QVERIFY(form->isVisible());
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
    VERIFY_BOXES(*answerer);

    // Closing only hides; the next study shows the form again.
    form->close();
    QVERIFY(!form->isVisible());
    form->openStudy("sess-2", QStringLiteral("1.2.840.113619.2.2"));
    QVERIFY(form->isVisible());
    QCOMPARE(server->requests(recordPath).back().header("Cookie"), std::string("JSESSIONID=sess-2"));
}

void TestOpen::serialNumberCut_data()
{
    QTest::addColumn<QByteArray>("lookup");
    QTest::addColumn<QString>("serial");

    QTest::newRow("plain") << QByteArray(R"({"rischeckserialnum":"A123"})") << "A123";
    QTest::newRow("blank after colon keeps the quote") << QByteArray(R"({"rischeckserialnum": "A123"})") << "\"A123";
    QTest::newRow("other members first") << QByteArray(R"({"id":7,"rischeckserialnum":"B-7"})") << "B-7";
    QTest::newRow("empty value") << QByteArray(R"({"rischeckserialnum":""})") << "";
}

void TestOpen::serialNumberCut()
{
    QFETCH(QByteArray, lookup);
    QFETCH(QString, serial);

    server->setReply("GET", lookupPath, ok(lookup.toStdString()));
    const auto form = openedForm();
    QCOMPARE(Access::risCheckSerialNum(*form), serial);
    QCOMPARE(Access::widget<QLineEdit>(*form, "checkIDLineEdit")->text(), serial);
    QCOMPARE(server->requests(recordPath).size(), size_t(1));
    // No serial number, no showing, even with a patient name in the record.
    QCOMPARE(form->isVisible(), !serial.isEmpty());
    VERIFY_BOXES(*answerer);
}

void TestOpen::replyCutAtZeroByte()
{
    CloudPaientInfoForm form;
    Access::onCheckNum(form, QByteArray("{\"rischeckserialnum\":\"C5\"}\0{\"x\":\"y\"}", 37));
    QCOMPARE(Access::checkNumReply(form), std::string(R"({"rischeckserialnum":"C5"})"));
    QCOMPARE(Access::risCheckSerialNum(form), QStringLiteral("C5"));

    // "{}" up to the zero byte: nothing is loaded.
    Access::onCheckNum(form, QByteArray("{}\0{\"rischeckserialnum\":\"D6\"}", 28));
    QCOMPARE(Access::risCheckSerialNum(form), QStringLiteral("C5"));
    QCOMPARE(server->requests(recordPath).size(), size_t(1));
}

void TestOpen::uploadDeclined_data()
{
    QTest::addColumn<bool>("openedBefore");

    // The warning offers only OK; closing its window declines.
    QTest::newRow("hidden form") << false;
    QTest::newRow("shown form") << true;
}

void TestOpen::uploadDeclined()
{
    QFETCH(bool, openedBefore);

    CloudPaientInfoForm form;
    if (openedBefore)
        form.openStudy("sess-1", QStringLiteral("1.2.3"));
    const Shown before = shown(form);
    const size_t recordsBefore = server->requests(recordPath).size();

    server->setReply("GET", lookupPath, ok("{}"));
    answerer->expect(notInCloud, MessageBoxAnswerer::CloseWindow);
    form.openStudy("sess-1", QStringLiteral("1.2.4"));
    VERIFY_BOXES(*answerer);

    QCOMPARE(form.isVisible(), openedBefore);
    QVERIFY(shown(form) == before);
    QCOMPARE(server->requests(recordPath).size(), recordsBefore);
    QCOMPARE(server->requests(uploadPath).size(), size_t(0));
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
}

void TestOpen::lookupError_data()
{
    QTest::addColumn<bool>("refused");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("lookup");

    QTest::newRow("empty reply") << false << 200 << QByteArray();
    QTest::newRow("plain text") << false << 200 << QByteArray("error");
    QTest::newRow("other member") << false << 200 << QByteArray(R"({"serial":"A1"})");
    QTest::newRow("upper case key") << false << 200 << QByteArray(R"({"RISCHECKSERIALNUM":"A1"})");
    QTest::newRow("{} with a line feed") << false << 200 << QByteArray("{}\n");
    QTest::newRow("HTTP 500") << false << 500 << QByteArray("Internal Server Error");
    QTest::newRow("connection refused") << true << 200 << QByteArray();
}

void TestOpen::lookupError()
{
    QFETCH(bool, refused);
    QFETCH(int, status);
    QFETCH(QByteArray, lookup);

    if (refused) {
        // A port that just stopped listening.
        auto closed = std::make_unique<TestServer>();
        const QString base = closed->url();
        closed.reset();
        QVERIFY(FormFiles::writeEndpoints(base));
    }
    ScriptedReply reply = ok(lookup.toStdString());
    reply.status = status;
    server->setReply("GET", lookupPath, reply);

    answerer->expect(QStringLiteral("CheckSerialNum Query Error!"));
    const auto form = openedForm();
    VERIFY_BOXES(*answerer);
    QVERIFY(!form->isVisible());
    QVERIFY(Access::risCheckSerialNum(*form).isEmpty());
    QCOMPARE(Access::widget<QLineEdit>(*form, "checkIDLineEdit")->text(), QString());
    QCOMPARE(server->requests(recordPath).size(), size_t(0));
}

void TestOpen::recordEdgeCases_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sex");
    QTest::addColumn<QString>("age");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("checkItem");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("progressHidden");

    const QString epoch = QStringLiteral("1970-01-01 08:00:00");
    QTest::newRow("age 0") << QByteArray(R"({"patientname":"P","age":0,"ageunit":"M"})")
                           << "P" << "" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("age as text") << QByteArray(R"({"patientname":"P","age":"7"})")
                                 << "P" << "" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("age with fraction") << QByteArray(R"({"patientname":"P","age":7.5})")
                                       << "P" << "" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("age beyond the list") << QByteArray(R"({"patientname":"P","age":250})")
                                         << "P" << "" << "250" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("check item -1") << QByteArray(R"({"patientname":"P","checkitemid":-1,"studypositionid":1})")
                                   << "P" << "" << "1" << epoch << "Chest" << "" << true << false;
    QTest::newRow("check item beyond the list") << QByteArray(R"({"patientname":"P","checkitemid":3})")
                                                << "P" << "" << "1" << epoch << "Head" << "" << true << true;
    QTest::newRow("position -2") << QByteArray(R"({"patientname":"P","studypositionid":-2,"checkitemid":1})")
                                 << "P" << "" << "1" << epoch << "" << "CT Chest" << true << true;
    QTest::newRow("position beyond the list") << QByteArray(R"({"patientname":"P","studypositionid":2})")
                                              << "P" << "" << "1" << epoch << "" << "CT Head" << true << true;
    QTest::newRow("studytime 0, local") << QByteArray(R"({"patientname":"P","studytime":0})")
                                        << "P" << "" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("studytime with fraction")
        << QByteArray(R"({"patientname":"P","studytime":86400999.9})")
        << "P" << "" << "1" << "1970-01-02 08:00:00" << "Head" << "CT Head" << true << true;
    QTest::newRow("negative studytime rounds toward zero")
        << QByteArray(R"({"patientname":"P","studytime":-0.5})")
        << "P" << "" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("sex outside the list") << QByteArray(R"({"patientname":"P","sex":"U"})")
                                          << "P" << "U" << "1" << epoch << "Head" << "CT Head" << true << true;
    QTest::newRow("no patient name") << QByteArray(R"({"sex":"F","age":3})")
                                     << "" << "F" << "3" << epoch << "Head" << "CT Head" << false << true;
    QTest::newRow("patient name as number") << QByteArray(R"({"patientname":5})")
                                            << "" << "" << "1" << epoch << "Head" << "CT Head" << false << true;
    QTest::newRow("not JSON") << QByteArray("<html>busy</html>")
                              << "" << "" << "1" << epoch << "Head" << "CT Head" << false << true;
    QTest::newRow("array") << QByteArray(R"([{"patientname":"P"}])")
                           << "" << "" << "1" << epoch << "Head" << "CT Head" << false << true;
    QTest::newRow("empty reply") << QByteArray()
                                 << "" << "" << "1" << epoch << "Head" << "CT Head" << false << true;
}

void TestOpen::recordEdgeCases()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, name);
    QFETCH(QString, sex);
    QFETCH(QString, age);
    QFETCH(QString, time);
    QFETCH(QString, position);
    QFETCH(QString, checkItem);
    QFETCH(bool, visible);
    QFETCH(bool, progressHidden);

    server->setReply("GET", recordPath, ok(record.toStdString()));
    UploadStudyProgressForm::getInstance()->show();
    const auto form = openedForm();

    const Shown now = shown(*form);
    QCOMPARE(now.serial, QStringLiteral("A123"));
    QCOMPARE(now.name, name);
    QCOMPARE(now.sex, sex);
    QCOMPARE(now.age, age);
    QCOMPARE(now.time, time);
    QCOMPARE(now.position, position);
    QCOMPARE(now.checkItem, checkItem);
    if (checkItem.isEmpty())
        QCOMPARE(Access::widget<QComboBox>(*form, "checkItemComboBox")->currentIndex(), -1);
    if (position.isEmpty())
        QCOMPARE(Access::widget<QComboBox>(*form, "studyPositionComboBox")->currentIndex(), -1);
    QCOMPARE(form->isVisible(), visible);
    QCOMPARE(UploadStudyProgressForm::getInstance()->isVisible(), !progressHidden);
    VERIFY_BOXES(*answerer);
}

void TestOpen::eachOpenAddsOneConnection()
{
    const auto form = openedForm();
    form->openStudy("sess-1", QStringLiteral("1.2.840.9"));
    form->openStudy("sess-1", QStringLiteral("1.2.840.9"));
    server->clearRequests();
    server->setReply("GET", recordPath, ok(R"({"patientname":"Late","checkitemid":0})"));

    emit UploadStudyProgressForm::getInstance()->sCheckNum(R"({"rischeckserialnum":"Z9"})");
    const auto records = server->requests(recordPath);
    QCOMPARE(records.size(), size_t(3));
    for (const RecordedRequest& request : records)
        QCOMPARE(request.target, recordPath + "?checkserialnum=Z9");
    QCOMPARE(Access::widget<QLineEdit>(*form, "checkIDLineEdit")->text(), QStringLiteral("Z9"));
    QCOMPARE(Access::widget<QLineEdit>(*form, "patientNameLineEdit")->text(), QStringLiteral("Late"));

    // An upload that ends without a record changes nothing.
    emit UploadStudyProgressForm::getInstance()->sCheckNum("{}");
    QCOMPARE(server->requests(recordPath).size(), size_t(3));
    QCOMPARE(Access::risCheckSerialNum(*form), QStringLiteral("Z9"));
    VERIFY_BOXES(*answerer);
}

void TestOpen::unknownStudyUploadsThenLoads()
{
    StudyDatabase db;
    QTemporaryDir images;
    QVERIFY(images.isValid());
    const qint64 other = db.addPatient(QStringLiteral("Someone Else"), QStringLiteral("F"));
    const qint64 patient = db.addPatient(QStringLiteral("Wang Wu"), QStringLiteral("M"));
    db.addStudy(other, QStringLiteral("1.9.1"));
    const qint64 study = db.addStudy(patient, QStringLiteral("1.9.2"));
    const qint64 series = db.addSeries(study);
    for (const char* name : {"im1.dcm", "im2.dcm"}) {
        const QString path = images.filePath(QLatin1String(name));
        QVERIFY(FormFiles::write(path, "DICM"));
        db.addImage(series, path);
    }

    server->setReply("GET", lookupPath, ok("{}"));
    server->setReply("POST", uploadPath, ok(R"({"rischeckserialnum":"U55"})"));
    server->setReply("GET", recordPath, ok(R"({"patientname":"Wang Wu","checkitemid":1,"studypositionid":0})"));
    answerer->expect(notInCloud, MessageBoxAnswerer::Accept);

    CloudPaientInfoForm form;
    form.setStudyKey(study);
    form.setPatientName(QStringLiteral("host name"));
    form.openStudy("sess-up", QStringLiteral("1.9.2"));
    VERIFY_BOXES(*answerer);

    // The lookup was repeated once after the upload started; "{}" again
    // leaves the record to the upload's reply.
    QCOMPARE(server->requests(lookupPath).size(), size_t(2));
    QCOMPARE(Access::patientName(form), QStringLiteral("Wang Wu"));
    QVERIFY(UploadStudyProgressForm::getInstance()->isVisible());
    QVERIFY(!form.isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(Access::widget<QLineEdit>(form, "checkIDLineEdit")->text(), QStringLiteral("U55"), 20000);
    QCOMPARE(server->requests(uploadPath).size(), size_t(2));
    QCOMPARE(server->requests(recordPath).back().target, recordPath + "?checkserialnum=U55");
    QCOMPARE(Access::widget<QComboBox>(form, "checkItemComboBox")->currentText(), QStringLiteral("CT Chest"));
    QVERIFY(form.isVisible());
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
}

QTEST_MAIN(TestOpen)
#include "tst_open.moc"
