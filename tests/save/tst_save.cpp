#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "workfolder.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTextCodec>
#include <QTextEdit>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

// Ids differ from positions, and a name comes twice.
const QByteArray checkItemFile = R"([{"checkitemid":"10","checkitem":"CT Head"},{"checkitemid":"11","checkitem":"CT Chest"},)"
                                 R"({"checkitemid":"12","checkitem":"MR Knee"},{"checkitemid":"13","checkitem":"CT Chest"}])";
const QByteArray positionFile = R"([{"positiontypeid":"20","positiontypename":"Head"},{"positiontypeid":"21","positiontypename":"Chest"}])";
// What the service hands out at the refresh: UTF-8, not in the files' layout.
const std::string freshCheckItems = "[ {\"checkitemid\":\"30\", \"checkitem\":\"\xe8\xb6\x85\xe5\xa3\xb0\"} ]\n";
const std::string freshPositions = "[{\"positiontypeid\":\"40\",\"positiontypename\":\"\xe8\x85\xb9\xe9\x83\xa8\"}]";

// The file's permission bits.
int modeOf(const QString& path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// While it lives, this thread's writes obey the folders' modes even as root,
// whose override of them it takes away; the file owner's rights stay.
class FolderModesObeyed
{
public:
    FolderModesObeyed()
    {
        if (::geteuid() != 0)
            return;
        header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        active = ::syscall(SYS_capset, &header, lowered) == 0;
    }
    ~FolderModesObeyed()
    {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    bool works() const { return ::geteuid() != 0 || active; }

private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};

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
    void failedPostKeepsTheEdit();
    void localWriteFails_data();
    void localWriteFails();
    void uidLeavingTheFolder();
    void deletedWhileBoxOpen_data();
    void deletedWhileBoxOpen();

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
        save({symptomRequired});
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
    // An earlier backup readable by all is replaced by one for its owner alone.
    QVERIFY(FormFiles::write(backupPath(), "earlier"));
    QVERIFY(QFile::setPermissions(backupPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
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
    QCOMPARE(modeOf(backupPath()), 0600);
    QCOMPARE(table("SELECT StudyUID, CheckSerialNum, PatientInfoPath FROM patientinfoindex"), "1.2.156.7|A'1|" + backupPath());

    // Success: the study's patient row follows, the dictionaries are refreshed
    // on disk only, and the form closes.
    QCOMPARE(table("SELECT PatientName, PatientSex FROM patient ORDER BY pk"), QStringLiteral("Other|O;O'Brien|M"));
    QCOMPARE(FormFiles::read(FormFiles::checkItemFile()), QByteArray::fromStdString(freshCheckItems));
    QCOMPARE(FormFiles::read(FormFiles::positionFile()), QByteArray::fromStdString(freshPositions));
    QCOMPARE(Access::items(*form, "checkItemComboBox") + Access::items(*form, "studyPositionComboBox"), boxes);
    QVERIFY(!form->isVisible());
}

// An expired session: the service answers 401 and keeps the old record.
void TestSave::failedPostKeepsTheEdit()
{
    server->setReply("POST", modifyPath, {401, "login first", "text/plain", "", false});
    auto* symptom = Access::widget<QTextEdit>(*form, "symptomTextEdit");
    symptom->setPlainText(QStringLiteral("edited"));
    save({saveQuestion, netError});
    QVERIFY(form->isVisible());
    QCOMPARE(symptom->toPlainText(), QStringLiteral("edited"));

    // Each attempt writes the backup again and adds an index row.
    server->setReply("POST", modifyPath, scripted("ok"));
    symptom->setPlainText(QStringLiteral("fever"));
    save();
    QVERIFY(!form->isVisible());
    QVERIFY(FormFiles::read(backupPath()).contains("\"abstracthistory\": \"fever\""));
    QCOMPARE(table("SELECT CheckSerialNum FROM patientinfoindex"), QStringLiteral("A'1;A'1"));
}

void TestSave::localWriteFails_data()
{
    QTest::addColumn<QString>("blocked");  // what stands in the way of the local copy
    QTest::addColumn<bool>("earlier");     // an earlier backup is there
    QTest::addColumn<QByteArray>("backup");  // afterwards; "posted": the body that was posted
    QTest::addColumn<QString>("left");     // the index row's study and the patient names afterwards
    const QString saved = QStringLiteral("1.2.156.7|Other;Zhang San");
    QTest::newRow("a file where the backup folder belongs") << "file" << false << QByteArray() << saved;
    // On a small file system of its own, filled.
    QTest::newRow("full disk") << "full" << true << QByteArray("earlier") << saved;
    QTest::newRow("read-only folder: a writable backup is written in place") << "read-only" << true
                                                                            << QByteArray("posted") << saved;
    QTest::newRow("read-only folder, no backup") << "read-only" << false << QByteArray() << saved;
    QTest::newRow("database locked by another connection") << "locked" << false << QByteArray("posted")
                                                           << "|Other;Old Name";
    QTest::newRow("no index table") << "patientinfoindex" << false << QByteArray("posted") << "|Other;Zhang San";
    QTest::newRow("no patient table") << "patient" << false << QByteArray("posted") << "1.2.156.7|";
}

// The post went through; unless the earlier backup could be written in place,
// the operator hears once that the local copy is missing, and the form closes.
void TestSave::localWriteFails()
{
    QFETCH(QString, blocked);
    QFETCH(bool, earlier);
    QFETCH(QByteArray, backup);
    const QString folder = work->filePath(QStringLiteral("backup"));
    const QByteArray path = QFile::encodeName(folder);
    QVERIFY(blocked == "file" ? FormFiles::write(folder, "not a folder") : QDir().mkpath(folder));
    if (blocked == "full" && ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=128k") != 0)
        QSKIP(qPrintable(QStringLiteral("no tmpfs to fill here (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)))));
    const auto restore = qScopeGuard([&] {
        if (blocked == "full")
            ::umount2(path.constData(), MNT_DETACH);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (earlier)
        QVERIFY(FormFiles::write(backupPath(), "earlier"));
    if (blocked == "full") {
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }
    if (blocked == "read-only")
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    if (blocked.startsWith("patient"))
        QVERIFY(QSqlQuery().exec("DROP TABLE " + blocked));
    std::optional<FolderModesObeyed> obeyed;
    if (blocked == "read-only" && !obeyed.emplace().works())
        QSKIP("this root may not give up its override of folder modes");
    // Another connection may hold the write lock; the host's connection gives up after a short wait.
    QSqlDatabase host = QSqlDatabase::database();
    host.close();
    host.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=200"));
    QVERIFY(host.open());
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        locker.setDatabaseName(host.databaseName());
        QVERIFY(locker.open() && (blocked != "locked" || QSqlQuery(locker).exec(QStringLiteral("BEGIN IMMEDIATE"))));
        save(blocked == "read-only" && earlier ? QStringList{saveQuestion} : QStringList{saveQuestion, localCopyLost});
        QSqlQuery(locker).exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));

    QVERIFY(!form->isVisible());
    QCOMPARE(server->requests(modifyPath).size(), size_t(1));
    QCOMPARE(FormFiles::read(backupPath()), backup == "posted" ? Access::postBody(*form) : backup);
    if (backup == "posted")
        QCOMPARE(modeOf(backupPath()), 0600);
    // Nothing but the backup is left behind in its folder.
    for (const QString& file : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(folder + '/' + file == backupPath() || file == QLatin1String("filler"), qPrintable(file));
    QTEST(table("SELECT StudyUID FROM patientinfoindex") + '|' + table("SELECT PatientName FROM patient ORDER BY pk"),
          "left");
}

void TestSave::uidLeavingTheFolder()
{
    const QString uid = QStringLiteral("../../escaped");
    form->openStudy("sess-s", uid);
    save();
    const QString written = work->filePath(QStringLiteral("backup/CloudPatientCaseInfo_..%2F..%2Fescaped.json"));
    QCOMPARE(FormFiles::read(written), Access::postBody(*form));
    QCOMPARE(QDir(work->filePath(QStringLiteral("backup"))).entryList(QDir::Files).size(), 1);
    QVERIFY(!QFileInfo::exists(work->filePath(QStringLiteral("../escaped.json"))));
    QCOMPARE(table("SELECT StudyUID, PatientInfoPath FROM patientinfoindex"), uid + '|' + written);
}

void TestSave::deletedWhileBoxOpen_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("later");  // deleteLater instead of delete
    for (const QString& box : {notInCloud, lookupError, symptomRequired, saveQuestion, netError, localCopyLost}) {
        QTest::newRow(qPrintable("delete: " + box)) << box << false;
        QTest::newRow(qPrintable("deleteLater: " + box)) << box << true;
    }
}

// The host takes control back while a box is open and deletes the form; the
// form's code after the box must not touch it (AddressSanitizer watches).
void TestSave::deletedWhileBoxOpen()
{
    QFETCH(QString, box);
    QFETCH(bool, later);
    QPointer<CloudPaientInfoForm> watched(form.get());
    if (box == netError || box == localCopyLost)
        answerer->expect(saveQuestion);
    answerer->expect(box, MessageBoxAnswerer::Accept, [this, later] {
        if (later)
            form.release()->deleteLater();
        else
            form.reset();
    });
    server->clearRequests();
    if (box == notInCloud) {
        server->setReply("GET", lookupPath, scripted("{}"));
        watched->openStudy("sess-s", QStringLiteral("1.2.156.7"));
    } else if (box == lookupError) {
        server->setReply("GET", lookupPath, scripted("garbage"));
        watched->openStudy("sess-s", QStringLiteral("1.2.156.7"));
    } else {
        if (box == netError)
            server->setReply("POST", modifyPath, {500, "", "text/plain", "", false});
        if (box == localCopyLost)
            QVERIFY(FormFiles::write(work->filePath(QStringLiteral("backup")), "not a folder"));
        if (box == symptomRequired)
            Access::widget<QTextEdit>(*watched, "symptomTextEdit")->clear();
        Access::widget<QPushButton>(*watched, "enterPushButton")->click();
    }
    VERIFY_BOXES(*answerer);
    QTRY_VERIFY(watched.isNull());
    // Accepting the box of a deleted form starts nothing: no upload, no post.
    QCOMPARE(server->requests(modifyPath).size(), size_t(box == netError || box == localCopyLost));
    QCOMPARE(server->requests(lookupPath).size(), size_t(box == notInCloud || box == lookupError));
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
