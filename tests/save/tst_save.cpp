#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "workfolder.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCodec>
#include <QTextEdit>

#include <memory>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

const QString saveQuestion = QStringLiteral("Are you sure to SAVE ALL ?");
// Ids differ from positions, and a name comes twice.
const QByteArray checkItemFile = R"([{"checkitemid":"10","checkitem":"CT Head"},{"checkitemid":"11","checkitem":"CT Chest"},)"
                                 R"({"checkitemid":"12","checkitem":"MR Knee"},{"checkitemid":"13","checkitem":"CT Chest"}])";
const QByteArray positionFile = R"([{"positiontypeid":"20","positiontypename":"Head"},{"positiontypeid":"21","positiontypename":"Chest"}])";
// What the service hands out at the refresh: UTF-8, not in the files' layout.
const std::string freshCheckItems = "[ {\"checkitemid\":\"30\", \"checkitem\":\"\xe8\xb6\x85\xe5\xa3\xb0\"} ]\n";
const std::string freshPositions = "[{\"positiontypeid\":\"40\",\"positiontypename\":\"\xe8\x85\xb9\xe9\x83\xa8\"}]";

} // namespace

class TestSave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requiredSymptom_data();
    void requiredSymptom();
    void bodyPostedAndBackedUp();
    void retryAfterFailedPost();
    void backupFolderBlocked();

private:
    // Clicks save; the boxes that follow are accepted, but for the first answer.
    void save(const QStringList& boxes = {saveQuestion}, MessageBoxAnswerer::Answer first = MessageBoxAnswerer::Accept);
    QString backupPath() const { return work->backupPath(QStringLiteral("1.2.156.7")); }
    // Rows joined by ";", their cells by "|".
    QString table(const char* sql) const;

    std::unique_ptr<WorkFolder> work;
    std::unique_ptr<StudyDatabase> db;
    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
};

void TestSave::initTestCase()
{
    // The refreshed dictionaries are written in the locale's encoding.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

void TestSave::init()
{
    FormFiles::clear();
    QVERIFY(FormFiles::writeDictionaries(checkItemFile, positionFile));
    server = std::make_unique<TestServer>();
    QVERIFY(FormFiles::writeEndpoints(server->url()));
    // A quote in the serial number reaches the index verbatim.
    server->setReply("GET", lookupPath, scripted(R"({"rischeckserialnum":"A'1"})"));
    server->setReply("GET", recordPath, scripted(fullRecord));
    server->setReply("POST", modifyPath, scripted(R"({"result":"ok"})"));
    server->setReply("GET", checkItemPath, scripted(freshCheckItems));
    server->setReply("GET", positionPath, scripted(freshPositions));

    work = std::make_unique<WorkFolder>();
    QVERIFY(work->isValid());

    // The patient's key differs from the study's: its row is found only through the study.
    db = std::make_unique<StudyDatabase>();
    db->addPatient(QStringLiteral("Other"), QStringLiteral("O"));
    const qint64 study = db->addStudy(db->addPatient(QStringLiteral("Old Name"), QStringLiteral("F")), "1.2.156.7");
    answerer = std::make_unique<MessageBoxAnswerer>();
    form = std::make_unique<CloudPaientInfoForm>();
    form->setStudyKey(study);
    form->openStudy("sess-s", QStringLiteral("1.2.156.7"));
    QVERIFY(form->isVisible());
}

void TestSave::cleanup()
{
    form.reset();
    db.reset();
    work.reset();
    server.reset();
    FormFiles::clear();
    VERIFY_BOXES(*answerer);
}

void TestSave::save(const QStringList& boxes, MessageBoxAnswerer::Answer first)
{
    for (const QString& box : boxes)
        answerer->expect(box, box == boxes.first() ? first : MessageBoxAnswerer::Accept);
    Access::widget<QPushButton>(*form, "enterPushButton")->click();
}

QString TestSave::table(const char* sql) const
{
    QStringList rows;
    for (const QStringList& row : db->rows(QLatin1String(sql)))
        rows << row.join(QLatin1Char('|'));
    return rows.join(QLatin1Char(';'));
}

void TestSave::requiredSymptom_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("symptom");
    QTest::addColumn<bool>("refused");

    QTest::newRow("empty") << "Zhang San" << "" << true;
    QTest::newRow("one space") << "Zhang San" << " " << true;
    QTest::newRow("two spaces") << "Zhang San" << "  " << false;
    QTest::newRow("empty name is not checked") << "" << "cough" << false;
}

void TestSave::requiredSymptom()
{
    QFETCH(QString, name);
    QFETCH(QString, symptom);
    QFETCH(bool, refused);

    Access::widget<QLineEdit>(*form, "patientNameLineEdit")->setText(name);
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(symptom);
    // Passing the check leads to the question, declined here.
    if (refused)
        save({QStringLiteral("Patient Symptom is required!")});
    else
        save({saveQuestion}, MessageBoxAnswerer::Decline);
    QVERIFY(server->requests(modifyPath).empty());
    QVERIFY(!QFile::exists(backupPath()));
    QCOMPARE(table("SELECT * FROM patientinfoindex"), QString());
    QVERIFY(form->isVisible());
}

void TestSave::bodyPostedAndBackedUp()
{
    const QStringList boxes = Access::items(*form, "checkItemComboBox") + Access::items(*form, "studyPositionComboBox");
    // A quote in the name reaches the patient row verbatim.
    Access::widget<QLineEdit>(*form, "patientNameLineEdit")->setText(QStringLiteral("O'Brien"));
    Access::widget<QDateTimeEdit>(*form, "checkDateTimeEdit")->setDateTime(QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6)));
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(QString::fromUtf8("咳嗽 \"3\" 天"));
    // The body takes the edited serial number; the index keeps the looked-up one.
    Access::widget<QLineEdit>(*form, "checkIDLineEdit")->setText(QStringLiteral("EDITED"));
    // Ids are found by name: the first of two equal names, the first entry for an unknown name.
    Access::widget<QComboBox>(*form, "checkItemComboBox")->setCurrentIndex(3);
    Access::widget<QComboBox>(*form, "studyPositionComboBox")->setCurrentText(QStringLiteral("chest"));
    save();

    const QByteArray expected = "{\n"
                                "    \"abstracthistory\": \"\xe5\x92\xb3\xe5\x97\xbd \\\"3\\\" \xe5\xa4\xa9\",\n"
                                "    \"age\": \"42\",\n"
                                "    \"ageunit\": \"Y\",\n"
                                "    \"checkitemid\": \"11\",\n"
                                "    \"checkserialnum\": \"EDITED\",\n"
                                "    \"patientname\": \"O'Brien\",\n"
                                "    \"prediagnose\": \"bronchitis\",\n"
                                "    \"relevantresult\": \"x-ray clear\",\n"
                                "    \"sex\": \"M\",\n"
                                "    \"studypositionid\": \"20\",\n"
                                "    \"studytime\": \"2021-02-03 04:05:06\"\n"
                                "}\n";
    const auto posts = server->requests(modifyPath);
    QCOMPARE(posts.size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(posts[0].body), expected);
    QCOMPARE(posts[0].header("Cookie"), std::string("JSESSIONID=sess-s"));
    QCOMPARE(FormFiles::read(backupPath()), expected);
    QCOMPARE(table("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex"), "1.2.156.7|A'1|" + backupPath());

    // Success: the study's patient row follows, the dictionaries are refreshed
    // on disk only, and the form closes.
    QCOMPARE(table("SELECT PatientName, PatientSex FROM patient ORDER BY pk"), QStringLiteral("Other|O;O'Brien|M"));
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), QByteArray::fromStdString(freshCheckItems));
    QCOMPARE(FormFiles::read(FormFiles::positionFile()), QByteArray::fromStdString(freshPositions));
    QCOMPARE(Access::items(*form, "checkItemComboBox") + Access::items(*form, "studyPositionComboBox"), boxes);
    QVERIFY(!form->isVisible());
}

void TestSave::retryAfterFailedPost()
{
    ScriptedReply broken = scripted(std::string(4096, 'x'));
    broken.breakHalfway = true;
    server->setReply("POST", modifyPath, broken);
    save({saveQuestion, QStringLiteral("Net connect error,please check again!")});
    QVERIFY(form->isVisible());

    // Each attempt writes the backup again and adds an index row.
    server->setReply("POST", modifyPath, scripted("ok"));
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(QStringLiteral("fever"));
    save();
    QVERIFY(!form->isVisible());
    QVERIFY(FormFiles::read(backupPath()).contains("\"abstracthistory\": \"fever\""));
    QCOMPARE(table("SELECT CheckSerialNum FROM patientinfoindex"), QStringLiteral("A'1;A'1"));
}

void TestSave::backupFolderBlocked()
{
    // A file where the backup folder belongs: no backup, but the save goes on.
    QVERIFY(FormFiles::write(work->filePath(QStringLiteral("backup")), "not a folder"));
    save();
    QVERIFY(!QFileInfo::exists(backupPath()));
    QCOMPARE(table("SELECT PatientInfoPath FROM patientinfoindex"), backupPath());
    QCOMPARE(server->requests(modifyPath).size(), size_t(1));
    QVERIFY(!form->isVisible());
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
