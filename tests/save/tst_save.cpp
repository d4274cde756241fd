#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>
#include <QTextEdit>

#include <memory>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

const QString saveQuestion = QStringLiteral("Are you sure to SAVE ALL ?");
const QString symptomRequired = QStringLiteral("Patient Symptom is required!");
const QString netError = QStringLiteral("Net connect error,please check again!");

const QByteArray checkItemFile = QByteArrayLiteral(
    R"([{"checkitemid":"10","checkitem":"CT Head"},{"checkitemid":"11","checkitem":"CT Chest"},)"
    R"({"checkitemid":"12","checkitem":"MR Knee"}])");
const QByteArray positionFile = QByteArrayLiteral(
    R"([{"positiontypeid":"20","positiontypename":"Head"},{"positiontypeid":"21","positiontypename":"Chest"}])");

// What the service hands out at the refresh: UTF-8, deliberately not in the
// files' layout, and with characters outside ASCII.
const std::string freshCheckItems = "[ {\"checkitemid\":\"30\", \"checkitem\":\"\xe8\xb6\x85\xe5\xa3\xb0\"} ]\n";
const std::string freshPositions = "[{\"positiontypeid\":\"40\",\"positiontypename\":\"\xe8\x85\xb9\xe9\x83\xa8\"}]";

ScriptedReply reply(const std::string& body, int status = 200)
{
    ScriptedReply r;
    r.status = status;
    r.body = body;
    return r;
}

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
    void idsFromSelectedNames_data();
    void idsFromSelectedNames();
    void savingTwice();
    void failedPost_data();
    void failedPost();
    void errorStatusCountsAsSent();
    void backupFolderBlocked();
    void quotesStoredVerbatim_data();
    void quotesStoredVerbatim();

private:
    std::unique_ptr<CloudPaientInfoForm> openedForm();
    void save(CloudPaientInfoForm& form);
    QString backupPath(const QString& uid) const;
    QList<QStringList> indexRows() const;
    QList<QStringList> patientRows() const;

    std::unique_ptr<QTemporaryDir> work;
    QString previousDir;
    std::unique_ptr<StudyDatabase> db;
    qint64 studyKey = 0;
    QString studyUid = QStringLiteral("1.2.156.7");
    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestSave::initTestCase()
{
    // The refreshed dictionaries are written in the locale's encoding.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    previousDir = QDir::currentPath();
}

void TestSave::init()
{
    FormFiles::clear();
    QVERIFY(FormFiles::writeDictionaries(checkItemFile, positionFile));
    server = std::make_unique<TestServer>();
    QVERIFY(FormFiles::writeEndpoints(server->url()));
    server->setReply("GET", lookupPath, reply(R"({"rischeckserialnum":"A123"})"));
    server->setReply("GET", recordPath, reply(fullRecord));
    server->setReply("POST", modifyPath, reply(R"({"result":"ok"})"));
    server->setReply("GET", checkItemPath, reply(freshCheckItems));
    server->setReply("GET", positionPath, reply(freshPositions));

    // Backups go to ../backup from the working directory.
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
    QVERIFY(QDir(work->path()).mkdir(QStringLiteral("run")));
    QVERIFY(QDir::setCurrent(work->filePath(QStringLiteral("run"))));

    // Patient keys differ from study keys, so that the patient row can only be
    // found through the study.
    db = std::make_unique<StudyDatabase>();
    db->addPatient(QStringLiteral("Filler"), QStringLiteral("F"));
    db->addPatient(QStringLiteral("Other"), QStringLiteral("O"));
    const qint64 patient = db->addPatient(QStringLiteral("Old Name"), QStringLiteral("F"));
    studyKey = db->addStudy(patient, studyUid);
    QCOMPARE(studyKey, qint64(1));
    QCOMPARE(patient, qint64(3));

    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestSave::cleanup()
{
    answerer.reset();
    db.reset();
    QDir::setCurrent(previousDir);
    work.reset();
    server.reset();
    FormFiles::clear();
}

std::unique_ptr<CloudPaientInfoForm> TestSave::openedForm()
{
    auto form = std::make_unique<CloudPaientInfoForm>();
    form->setStudyKey(studyKey);
    form->openStudy("sess-s", studyUid);
    if (!form->isVisible())
        qWarning("the study did not open");
    return form;
}

void TestSave::save(CloudPaientInfoForm& form)
{
    Access::widget<QPushButton>(form, "enterPushButton")->click();
}

QString TestSave::backupPath(const QString& uid) const
{
    return work->filePath(QStringLiteral("backup/CloudPatientCaseInfo_") + uid + QStringLiteral(".json"));
}

QList<QStringList> TestSave::indexRows() const
{
    return db->rows(QStringLiteral("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex ORDER BY pk"));
}

QList<QStringList> TestSave::patientRows() const
{
    return db->rows(QStringLiteral("SELECT pk, PatientName, PatientSex FROM patient ORDER BY pk"));
}

void TestSave::requiredSymptom_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("symptom");
    QTest::addColumn<bool>("refused");

    QTest::newRow("empty") << "Zhang San" << "" << true;
    QTest::newRow("one space") << "Zhang San" << " " << true;
    QTest::newRow("two spaces") << "Zhang San" << "  " << false;
    QTest::newRow("line break") << "Zhang San" << "\n" << false;
    QTest::newRow("empty name is not checked") << "" << "cough" << false;
}

void TestSave::requiredSymptom()
{
    QFETCH(QString, name);
    QFETCH(QString, symptom);
    QFETCH(bool, refused);

    const auto form = openedForm();
    Access::widget<QLineEdit>(*form, "patientNameLineEdit")->setText(name);
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(symptom);
    // Passing the check leads to the question, declined here.
    if (refused)
        answerer->expect(symptomRequired);
    else
        answerer->expect(saveQuestion, MessageBoxAnswerer::Decline);
    save(*form);
    VERIFY_BOXES(*answerer);

    QCOMPARE(Access::requiredTexts(*form), (QStringList{name, symptom}));
    QCOMPARE(Access::recordValues(*form), QStringList(QVector<QString>(11, QStringLiteral(" ")).toList()));
    QVERIFY(Access::postBody(*form).isEmpty());
    QVERIFY(Access::backupFilePath(*form).isEmpty());
    QVERIFY(!QFile::exists(backupPath(studyUid)));
    QVERIFY(indexRows().isEmpty());
    QVERIFY(server->requests(modifyPath).empty());
    QCOMPARE(patientRows().at(2), (QStringList{"3", "Old Name", "F"}));
    QVERIFY(form->isVisible());
}

void TestSave::bodyPostedAndBackedUp()
{
    const auto form = openedForm();
    const QStringList checkItemsShown = Access::items(Access::widget<QComboBox>(*form, "checkItemComboBox"));
    const QStringList positionsShown = Access::items(Access::widget<QComboBox>(*form, "studyPositionComboBox"));

    Access::widget<QDateTimeEdit>(*form, "checkDateTimeEdit")->setDateTime(QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6)));
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(QString::fromUtf8("咳嗽 \"3\" 天"));
    // The body takes the edited serial number; the index keeps the looked-up one.
    Access::widget<QLineEdit>(*form, "checkIDLineEdit")->setText(QStringLiteral("EDITED"));
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    const QByteArray expected = QByteArrayLiteral(
        "{\n"
        "    \"abstracthistory\": \"\xe5\x92\xb3\xe5\x97\xbd \\\"3\\\" \xe5\xa4\xa9\",\n"
        "    \"age\": \"42\",\n"
        "    \"ageunit\": \"Y\",\n"
        "    \"checkitemid\": \"12\",\n"
        "    \"checkserialnum\": \"EDITED\",\n"
        "    \"patientname\": \"Zhang San\",\n"
        "    \"prediagnose\": \"bronchitis\",\n"
        "    \"relevantresult\": \"x-ray clear\",\n"
        "    \"sex\": \"M\",\n"
        "    \"studypositionid\": \"21\",\n"
        "    \"studytime\": \"2021-02-03 04:05:06\"\n"
        "}\n");
    const auto posts = server->requests(modifyPath);
    QCOMPARE(posts.size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(posts[0].body), expected);
    QCOMPARE(posts[0].header("Cookie"), std::string("JSESSIONID=sess-s"));
    QCOMPARE(posts[0].header("Content-type"), std::string("application/json"));
    QCOMPARE(Access::postBody(*form), expected);
    QCOMPARE(FormFiles::read(backupPath(studyUid)), expected);

    const QString absoluteBackup = QFileInfo(backupPath(studyUid)).absoluteFilePath();
    QCOMPARE(Access::backupFilePath(*form), absoluteBackup);
    QCOMPARE(indexRows(), (QList<QStringList>{{studyUid, "A123", absoluteBackup}}));

    // Success: the patient row of this study follows, the dictionaries are
    // refreshed on disk only, and the form closes.
    QCOMPARE(patientRows(), (QList<QStringList>{{"1", "Filler", "F"}, {"2", "Other", "O"}, {"3", "Zhang San", "M"}}));
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), QByteArray::fromStdString(freshCheckItems));
    QCOMPARE(FormFiles::read(FormFiles::positionFile()), QByteArray::fromStdString(freshPositions));
    QCOMPARE(server->requests(checkItemPath).at(0).header("Cookie"), std::string("JSESSIONID=sess-s"));
    QCOMPARE(Access::items(Access::widget<QComboBox>(*form, "checkItemComboBox")), checkItemsShown);
    QCOMPARE(Access::items(Access::widget<QComboBox>(*form, "studyPositionComboBox")), positionsShown);
    QVERIFY(!form->isVisible());
}

void TestSave::idsFromSelectedNames_data()
{
    QTest::addColumn<QByteArray>("checkItems");
    QTest::addColumn<QByteArray>("positions");
    QTest::addColumn<QString>("checkItemText");
    QTest::addColumn<QString>("positionText");
    QTest::addColumn<QString>("checkItemId");
    QTest::addColumn<QString>("positionId");

    QTest::newRow("exact names") << checkItemFile << positionFile << "CT Chest" << "Head" << "11" << "20";
    QTest::newRow("other letter case") << checkItemFile << positionFile << "ct chest" << "CHEST" << "10" << "20";
    QTest::newRow("typed text") << checkItemFile << positionFile << "PET" << "" << "10" << "20";
    QTest::newRow("duplicate names")
        << QByteArray(R"([{"checkitemid":"10","checkitem":"Neck"},{"checkitemid":"11","checkitem":"Head"},)"
                      R"({"checkitemid":"12","checkitem":"Head"}])")
        << QByteArray(R"([{"positiontypeid":"7","positiontypename":"Arm"},{"positiontypeid":"8","positiontypename":"Arm"}])")
        << "Head" << "Arm" << "11" << "7";
    QTest::newRow("empty dictionaries") << QByteArray("[]") << QByteArray("[]") << "CT Head" << "Head" << "" << "";
}

void TestSave::idsFromSelectedNames()
{
    QFETCH(QByteArray, checkItems);
    QFETCH(QByteArray, positions);
    QFETCH(QString, checkItemText);
    QFETCH(QString, positionText);
    QFETCH(QString, checkItemId);
    QFETCH(QString, positionId);

    QVERIFY(FormFiles::writeDictionaries(checkItems, positions));
    const auto form = openedForm();
    Access::widget<QComboBox>(*form, "checkItemComboBox")->setCurrentText(checkItemText);
    Access::widget<QComboBox>(*form, "studyPositionComboBox")->setCurrentText(positionText);
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    const auto posts = server->requests(modifyPath);
    QCOMPARE(posts.size(), size_t(1));
    const QJsonObject sent = QJsonDocument::fromJson(QByteArray::fromStdString(posts[0].body)).object();
    QCOMPARE(sent.size(), 11);
    QCOMPARE(sent.value(QStringLiteral("checkitemid")).toString(QStringLiteral("<not a string>")), checkItemId);
    QCOMPARE(sent.value(QStringLiteral("studypositionid")).toString(QStringLiteral("<not a string>")), positionId);
    QCOMPARE(sent.value(QStringLiteral("age")).toString(), QStringLiteral("42"));
}

void TestSave::savingTwice()
{
    const auto form = openedForm();
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);
    QVERIFY(!form->isVisible());
    const QByteArray first = FormFiles::read(backupPath(studyUid));

    form->openStudy("sess-s", studyUid);
    Access::widget<QTextEdit>(*form, "symptomTextEdit")->setPlainText(QStringLiteral("fever"));
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    const auto posts = server->requests(modifyPath);
    QCOMPARE(posts.size(), size_t(2));
    const QByteArray second = FormFiles::read(backupPath(studyUid));
    QVERIFY(second != first);
    QCOMPARE(second, QByteArray::fromStdString(posts[1].body));
    QVERIFY(second.contains("\"abstracthistory\": \"fever\""));
    QCOMPARE(indexRows().size(), 2);
    QCOMPARE(indexRows().at(0), indexRows().at(1));
}

void TestSave::failedPost_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("connection refused") << true;
    QTest::newRow("reply broken off") << false;
}

void TestSave::failedPost()
{
    QFETCH(bool, refused);

    if (refused) {
        auto closed = std::make_unique<TestServer>();
        const QString base = closed->url();
        closed.reset();
        QVERIFY(FormFiles::writeEndpoints(server->url(), base));
    } else {
        ScriptedReply broken = reply(std::string(4096, 'x'));
        broken.breakHalfway = true;
        server->setReply("POST", modifyPath, broken);
    }

    const auto form = openedForm();
    Access::widget<QLineEdit>(*form, "patientNameLineEdit")->setText(QStringLiteral("Edited Name"));
    answerer->expect(saveQuestion);
    answerer->expect(netError);
    save(*form);
    VERIFY_BOXES(*answerer);

    // The form keeps the edits; backup and index row stay behind; nothing
    // after the post has happened.
    QVERIFY(form->isVisible());
    QCOMPARE(Access::widget<QLineEdit>(*form, "patientNameLineEdit")->text(), QStringLiteral("Edited Name"));
    QCOMPARE(FormFiles::read(backupPath(studyUid)), Access::postBody(*form));
    QCOMPARE(indexRows().size(), 1);
    QCOMPARE(patientRows().at(2), (QStringList{"3", "Old Name", "F"}));
    QVERIFY(server->requests(checkItemPath).empty());
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), checkItemFile);

    if (refused)
        return;
    // A second attempt that gets through adds a second index row.
    server->setReply("POST", modifyPath, reply("ok"));
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);
    QVERIFY(!form->isVisible());
    QCOMPARE(indexRows().size(), 2);
    QCOMPARE(patientRows().at(2), (QStringList{"3", "Edited Name", "M"}));
}

void TestSave::errorStatusCountsAsSent()
{
    server->setReply("POST", modifyPath, reply("Internal Server Error", 500));
    const auto form = openedForm();
    Access::widget<QComboBox>(*form, "sexComboBox")->setCurrentText(QStringLiteral("O"));
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    QVERIFY(!form->isVisible());
    QCOMPARE(patientRows().at(2), (QStringList{"3", "Zhang San", "O"}));
    QCOMPARE(FormFiles::read(FormFiles::positionFile()), QByteArray::fromStdString(freshPositions));
}

void TestSave::backupFolderBlocked()
{
    // A file where the backup folder belongs: no backup, the save goes on.
    QVERIFY(FormFiles::write(work->filePath(QStringLiteral("backup")), "not a folder"));
    const auto form = openedForm();
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    const QString intended = QFileInfo(backupPath(studyUid)).absoluteFilePath();
    QCOMPARE(Access::backupFilePath(*form), intended);
    QVERIFY(!QFileInfo::exists(intended));
    QCOMPARE(indexRows(), (QList<QStringList>{{studyUid, "A123", intended}}));
    QCOMPARE(server->requests(modifyPath).size(), size_t(1));
    QVERIFY(!form->isVisible());
}

void TestSave::quotesStoredVerbatim_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("lookup");
    QTest::addColumn<QString>("serial");

    QTest::newRow("apostrophe") << "O'Brien" << QByteArray(R"({"rischeckserialnum":"A'1"})") << "A'1";
    QTest::newRow("injection attempt") << "x'); DROP TABLE patient; --"
                                       << QByteArray(R"({"rischeckserialnum":"1');DELETE/**/FROM/**/patient;--"})")
                                       << "1');DELETE/**/FROM/**/patient;--";
}

void TestSave::quotesStoredVerbatim()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, lookup);
    QFETCH(QString, serial);

    server->setReply("GET", lookupPath, reply(lookup.toStdString()));
    const auto form = openedForm();
    Access::widget<QLineEdit>(*form, "patientNameLineEdit")->setText(name);
    answerer->expect(saveQuestion);
    save(*form);
    VERIFY_BOXES(*answerer);

    QCOMPARE(patientRows(), (QList<QStringList>{{"1", "Filler", "F"}, {"2", "Other", "O"}, {"3", name, "M"}}));
    const QList<QStringList> index = indexRows();
    QCOMPARE(index.size(), 1);
    QCOMPARE(index[0].at(1), serial);
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
