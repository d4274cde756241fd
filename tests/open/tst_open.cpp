#include "formaccess.h"
#include "formfixture.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "uploadstudyprogressform.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>
#include <string>

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

} // namespace

class TestOpen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void knownStudyIsShown();
    void record_data();
    void record();
    void uploadDeclined();
    void eachOpenAddsOneConnection();
    void unknownStudyUploadsThenLoads();

private:
    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
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
    server->setReply("GET", lookupPath, scripted(R"({"rischeckserialnum":"A123"})"));
    server->setReply("GET", recordPath, scripted(fullRecord));
    answerer = std::make_unique<MessageBoxAnswerer>();
    form = std::make_unique<CloudPaientInfoForm>();
    UploadStudyProgressForm::getInstance()->show();
}

void TestOpen::cleanup()
{
    form.reset();
    server.reset();
    FormFiles::clear();
    VERIFY_BOXES(*answerer);
}

void TestOpen::knownStudyIsShown()
{
    form->openStudy("sess-1", QStringLiteral("1.2.840.113619.2.1"));
    const auto lookups = server->requests(lookupPath);
    const auto records = server->requests(recordPath);
    QCOMPARE(lookups.size(), size_t(1));
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(lookups[0].target, lookupPath + "?studyinstanceuid=1.2.840.113619.2.1");
    QCOMPARE(records[0].target, recordPath + "?checkserialnum=A123");
    QCOMPARE(records[0].header("Cookie"), "JSESSIONID=sess-1"s);
    QCOMPARE(HttpUploadFile::instance()->getJsessionid(), QByteArray("sess-1"));
    // The lookup's serial number is shown, not the record's own; markup shows as rich text.
    QCOMPARE(shown(*form), QStringLiteral("A123|Zhang San|M|42|Y|2020-09-13 20:26:40|Chest|MR Knee|"
                                          "cough for 3 days|x-ray clear|bronchitis"));
    QVERIFY(form->isVisible());
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());

    // Closing only hides; the next study shows the form again.
    form->close();
    form->openStudy("sess-2", QStringLiteral("1.2.840.113619.2.2"));
    QVERIFY(form->isVisible());
    QCOMPARE(server->requests(recordPath).back().header("Cookie"), "JSESSIONID=sess-2"s);

    // The record has a name, but without a serial number the form hides.
    server->setReply("GET", lookupPath, scripted(R"({"rischeckserialnum":""})"));
    form->openStudy("sess-2", QStringLiteral("1.2.840.113619.2.3"));
    QCOMPARE(server->requests(recordPath).back().target, recordPath + "?checkserialnum=");
    QVERIFY(!form->isVisible());
}

void TestOpen::record_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("progressShown");

    const QString epoch = QStringLiteral("|1970-01-01 08:00:00|");
    QTest::newRow("age 0") << QByteArray(R"({"patientname":"P","age":0})") << "A123|P||1|" + epoch + "Head|CT Head|||" << true << false;
    QTest::newRow("codes outside the lists") << QByteArray(R"({"patientname":"P","age":250,"sex":"U"})") << "A123|P|U|250|" + epoch + "Head|CT Head|||" << true << false;
    QTest::newRow("check item -1") << QByteArray(R"({"patientname":"P","checkitemid":-1,"studypositionid":1})") << "A123|P||1|" + epoch + "Chest|-1|||" << true << true;
    QTest::newRow("check item beyond the list") << QByteArray(R"({"patientname":"P","checkitemid":3})") << "A123|P||1|" + epoch + "Head|-1|||" << true << false;
    QTest::newRow("position -2") << QByteArray(R"({"patientname":"P","studypositionid":-2,"checkitemid":1})") << "A123|P||1|" + epoch + "-1|CT Chest|||" << true << false;
    QTest::newRow("no patient name") << QByteArray(R"({"sex":"F","age":3,"ageunit":"M"})") << "A123||F|3|M" + epoch + "Head|CT Head|||" << false << false;
}

void TestOpen::record()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, fields);
    QFETCH(bool, visible);
    QFETCH(bool, progressShown);

    server->setReply("GET", recordPath, scripted(record.toStdString()));
    form->openStudy("sess-1", QStringLiteral("1.2.3"));
    QCOMPARE(shown(*form), fields);
    QCOMPARE(form->isVisible(), visible);
    QCOMPARE(UploadStudyProgressForm::getInstance()->isVisible(), progressShown);
}

void TestOpen::uploadDeclined()
{
    form->openStudy("sess-1", QStringLiteral("1.2.3"));
    const QString before = shown(*form);
    server->clearRequests();
    server->setReply("GET", lookupPath, scripted("{}"));
    // The warning offers only OK; closing its window declines.
    answerer->expect(QStringLiteral("The information did not exist in Cloud, you have to upload the images "
                                    "to edit the information!"), MessageBoxAnswerer::CloseWindow);
    UploadStudyProgressForm::getInstance()->hide();
    form->openStudy("sess-1", QStringLiteral("1.2.4"));

    QVERIFY(form->isVisible());
    QCOMPARE(shown(*form), before);
    QCOMPARE(server->requests().size(), size_t(1));
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
}

void TestOpen::eachOpenAddsOneConnection()
{
    for (int i = 0; i < 3; ++i)
        form->openStudy("sess-1", QStringLiteral("1.2.3"));
    server->clearRequests();
    server->setReply("GET", recordPath, scripted(R"({"patientname":"Late"})"));

    // A finished upload's reply counts up to its first zero byte.
    emit UploadStudyProgressForm::getInstance()->sCheckNum(QByteArray::fromStdString("{\"rischeckserialnum\":\"Z9\"}\0}"s));
    const auto records = server->requests(recordPath);
    QCOMPARE(records.size(), size_t(3));
    for (const RecordedRequest& request : records)
        QCOMPARE(request.target, recordPath + "?checkserialnum=Z9");
    QVERIFY(shown(*form).startsWith(QStringLiteral("Z9|Late|")));

    // An upload that ends without a record changes nothing.
    emit UploadStudyProgressForm::getInstance()->sCheckNum(QByteArray::fromStdString("{}\0{\"rischeckserialnum\":\"D6\"}"s));
    QCOMPARE(server->requests(recordPath).size(), size_t(3));
}

void TestOpen::unknownStudyUploadsThenLoads()
{
    StudyDatabase db;
    QTemporaryDir images;
    const qint64 other = db.addPatient(QStringLiteral("Someone Else"), QStringLiteral("F"));
    const qint64 study = db.addStudy(db.addPatient(QStringLiteral("Wang Wu"), QStringLiteral("M")), "1.9.2");
    db.addStudy(other, QStringLiteral("1.9.1"));
    const qint64 series = db.addSeries(study);
    for (const QString& path : {images.filePath("im1.dcm"), images.filePath("im2.dcm")}) {
        QVERIFY(FormFiles::write(path, "DICM"));
        db.addImage(series, path);
    }
    server->setReply("GET", lookupPath, scripted("{}"));
    server->setReply("POST", uploadPath, scripted(R"({"rischeckserialnum":"U55"})"));
    server->setReply("GET", recordPath, scripted(R"({"patientname":"Wang Wu","checkitemid":1})"));
    UploadStudyProgressForm::getInstance()->hide();
    answerer->expect(QStringLiteral("The information did not exist in Cloud, you have to upload the images "
                                    "to edit the information!"));

    form->setStudyKey(study);
    form->setPatientName(QStringLiteral("host name"));
    form->openStudy("sess-up", QStringLiteral("1.9.2"));
    // The lookup is repeated once; "{}" again leaves the record to the upload's reply.
    QCOMPARE(server->requests(lookupPath).size(), size_t(2));
    QCOMPARE(Access::patientName(*form), QStringLiteral("Wang Wu"));
    QVERIFY(UploadStudyProgressForm::getInstance()->isVisible());
    QVERIFY(!form->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(Access::widget<QLineEdit>(*form, "checkIDLineEdit")->text(), QStringLiteral("U55"), 20000);
    QCOMPARE(server->requests(uploadPath).size(), size_t(2));
    QVERIFY(shown(*form).contains(QStringLiteral("|Wang Wu|")) && shown(*form).contains(QStringLiteral("|CT Chest|")));
    QVERIFY(form->isVisible());
    QVERIFY(!UploadStudyProgressForm::getInstance()->isVisible());
}

QTEST_MAIN(TestOpen)
#include "tst_open.moc"
