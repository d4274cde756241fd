#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"
#include "testserver.h"
#include "uploadfilesmodel.h"
#include "uploadinput.h"
#include "uploadstudyprogressform.h"
#include "uploadtask.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLayout>
#include <QLibrary>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QtTest>

#include <condition_variable>
#include <mutex>

// Remembers the tasks it creates, so that a test can follow and drive them.
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
    static CloudClientAsyncHandler* handler(const UploadStudyProgressForm& form)
    {
        return form.uploadClient == HttpUploadFile::instance() ? form.asyncHandler.get() : nullptr;
    }
    static UploadFilesModel* model(const UploadStudyProgressForm& form) { return form.filesModel; }
    static QVector<QStringList> rows(const UploadStudyProgressForm& form) { return form.filesModel->getAllData(); }
};
using Access = UploadStudyProgressFormTestAccess;

struct Report
{
    int handled, succeeded, total;
};
using Reports = QVector<Report>;
Q_DECLARE_METATYPE(Reports)

namespace {

// Holds the server's upload replies while closed, so that a real task stays
// on its first file and the test alone decides what the form hears.
class Gate
{
public:
    void close() { set(true); }
    void open() { set(false); }
    void pass()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(30), [this] { return !closed; });
    }

private:
    void set(bool value)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            closed = value;
        }
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
};

// Answers the next folder dialog like a person: types the folder into the name
// field and presses the accept button, or presses Cancel for an empty folder.
class FolderDialogAnswerer : public QObject
{
public:
    explicit FolderDialogAnswerer(const QString& folder)
        : folder(folder)
    {
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(20);
    }
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QWidget* parent = nullptr;
    bool stuck = false;

private:
    void poll()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (++polls > 1) {  // still open after our answer: give up rather than hang
            stuck = true;
            dialog->reject();
            return;
        }
        mode = dialog->fileMode();
        parent = dialog->parentWidget();
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (!folder.isEmpty())
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(folder);
        buttons->button(folder.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Open)->click();
    }
    QString folder;
    QTimer timer;
    int polls = 0;
};

QStringList copies(const QString& path, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << path;
    return files;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

// Names of a layout's items in order, nested layouts in brackets.
QString layoutTree(QLayout* layout)
{
    QStringList items;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->layout()) {
            items << layoutTree(item->layout());
        } else if (item->widget()) {
            items << item->widget()->objectName();
        } else if (QSpacerItem* spacer = item->spacerItem()) {
            const QSizePolicy policy = spacer->sizePolicy();
            items << QStringLiteral("spacer:%1x%2:%3/%4")
                         .arg(spacer->sizeHint().width())
                         .arg(spacer->sizeHint().height())
                         .arg(policy.horizontalPolicy() == QSizePolicy::Expanding ? "Expanding" : "other")
                         .arg(policy.verticalPolicy() == QSizePolicy::Minimum ? "Minimum" : "other");
        }
    }
    return layout->objectName() + '(' + items.join(' ') + ')';
}

// What Qt makes of the stay-on-top hint alone on a window: an ordinary frame added.
Qt::WindowFlags stayOnTopFlags()
{
    QWidget reference;
    reference.setWindowFlags(Qt::WindowStaysOnTopHint);
    return reference.windowFlags();
}

// Ends every task of @p handler through its own finshTask, as the client would.
void finishTasks(const RecordingHandler& handler)
{
    for (const QPointer<UpLoadTask>& task : handler.tasks) {
        if (task)
            emit task->finshTask(task);
    }
}

bool allGone(const RecordingHandler& handler)
{
    for (const QPointer<UpLoadTask>& task : handler.tasks) {
        if (task)
            return false;
    }
    return true;
}

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    // First: it relies on no study upload having happened in the process.
    void numbersStudyUploadsOnly();
    void widgetTree();
    void singleExportedInstance();
    void progressFillsRowAndBar_data();
    void progressFillsRowAndBar();
    void tasksShareTheBar();
    void repeatedTextBlocksTask_data();
    void repeatedTextBlocksTask();
    void finishedTaskPassesReplyOn_data();
    void finishedTaskPassesReplyOn();
    void realUploadCountsFiles();
    void handlerTakesSettings();
    void folderUploadSendsEntries();
    void folderDialogCancelled();
    void folderNameOf_data();
    void folderNameOf();

private:
    Gate gate;
    TestServer server;
    QTemporaryDir dir;
    QString sample;
    QString caseFolder;
    QString settingsFile;
};

void TestUpload::initTestCase()
{
    QVERIFY(dir.isValid());
    sample = dir.filePath(QStringLiteral("sample.dcm"));
    QVERIFY(writeFile(sample, "DICM sample"));

    // case7 holds files at every depth, hidden entries and a linked folder.
    caseFolder = dir.filePath(QStringLiteral("scans/case7"));
    for (const char* file : {"a.dcm", ".hidden", "sub/b.dcm", "sub/.hidden2", "sub/deeper/c.dcm",
                             ".hiddendir/h.dcm", "../outside/o.dcm"})
        QVERIFY(writeFile(caseFolder + '/' + file, QByteArray("content of ") + file));
    QVERIFY(QDir(caseFolder).mkdir(QStringLiteral("emptysub")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("scans/outside")), caseFolder + "/link"));

    // Replies name the file, so the reply a task hands on shows which upload it came from.
    server.setHandler("POST", "/upload", [this](const httplib::Request& request, httplib::Response& response) {
        gate.pass();
        const std::string name = request.files.empty() ? std::string() : request.files.begin()->second.filename;
        response.set_content("{\"rischeckserialnum\":\"" + name + "\"}", "application/json");
    });
    settingsFile = QCoreApplication::applicationDirPath() + "/config/clouddata.ini";
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.setValue(QStringLiteral("cloud/assistUrl"), server.url(QStringLiteral("/upload")));
    settings.sync();
    QCOMPARE(HttpUploadFile::instance()->getAssistUrl(), server.url(QStringLiteral("/upload")));
}

void TestUpload::cleanup()
{
    gate.open();
    server.clearRequests();
}

void TestUpload::cleanupTestCase()
{
    QFile::remove(settingsFile);
}

void TestUpload::numbersStudyUploadsOnly()
{
    UploadStudyProgressForm* form = UploadStudyProgressForm::getInstance();
    QSignalSpy finished(form, &UploadStudyProgressForm::sCheckNum);
    HttpUploadFile::instance()->setJsessionid("first");
    gate.close();  // the dialog's event loop must not let the first upload end early

    form->addUploadTask({sample}, QStringLiteral("First"), QByteArray());
    QVERIFY(form->isVisible());  // the first study upload shows the window
    HttpUploadFile::instance()->setJsessionid("second");
    {
        FolderDialogAnswerer answerer(caseFolder);
        QVERIFY(QMetaObject::invokeMethod(form, "on_selectFloders_clicked"));
        QVERIFY(!answerer.stuck);
    }
    // A folder upload keeps the settings of the last study upload.
    QCOMPARE(Access::handler(*form)->jsessionid, QByteArray("first"));
    form->addUploadTask({sample}, QStringLiteral("Second"), QByteArray());
    QCOMPARE(Access::handler(*form)->jsessionid, QByteArray("second"));

    const QVector<QStringList> rows = Access::rows(*form);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], (QStringList{"0", "First", "1", "0", "0"}));
    QCOMPARE(rows[1].mid(1), (QStringList{"case7", "7"}));
    QVERIFY(rows[1][0].toInt() < 0);  // the client's own number for a task without one
    QCOMPARE(rows[2], (QStringList{"1", "Second", "1", "0", "0"}));
    QCOMPARE(form->findChild<QTableView*>()->model(), Access::model(*form));

    gate.open();
    QTRY_COMPARE(finished.count(), 3);
    QTRY_COMPARE(Access::rows(*form)[0], (QStringList{"0", "First", "1", "1", "0"}));
}

void TestUpload::widgetTree()
{
    UploadStudyProgressForm form;
    QCOMPARE(form.objectName(), QStringLiteral("UploadStudyProgressForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Form"));
    QCOMPARE(form.size(), QSize(617, 347));
    QCOMPARE(form.windowFlags(), stayOnTopFlags());
    QVERIFY(form.isWindow());
    QVERIFY(!form.isVisible());

    QCOMPARE(layoutTree(form.layout()),
             QStringLiteral("verticalLayout_2(verticalLayout(horizontalLayout(selectFloders "
                            "spacer:40x20:Expanding/Minimum) tableView progressBar))"));
    const auto* button = form.findChild<QPushButton*>(QStringLiteral("selectFloders"));
    QCOMPARE(button->text(), QStringLiteral("select floders"));
    QVERIFY(button->isHidden());
    QCOMPARE(form.findChild<QProgressBar*>()->value(), 0);
    const auto* view = form.findChild<QTableView*>();
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    const QMetaObject* meta = form.metaObject();
    QList<QByteArray> methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << meta->method(i).methodSignature();
    QCOMPARE(methods, (QList<QByteArray>{"sCheckNum(QByteArray)", "on_selectFloders_clicked()",
                                         "onProgress(int,int,int,UpLoadTask*)",
                                         "onFinshUpLoad(int,int,QStringList,QByteArray)",
                                         "onFinshTask(UpLoadTask*)"}));

    QCOMPARE(view->model(), Access::model(form));
    const QStringList titles{QStringLiteral("病人id"), QStringLiteral("病人姓名"), QStringLiteral(" 图像数"),
                             QStringLiteral(" 成功图片数"), QStringLiteral(" 失败图片数")};
    QCOMPARE(view->model()->columnCount(), titles.size());
    for (int column = 0; column < titles.size(); ++column)
        QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
}

void TestUpload::singleExportedInstance()
{
    UploadStudyProgressForm* form = UploadStudyProgressForm::getInstance();
    QCOMPARE(UploadStudyProgressForm::getInstance(), form);
    QVERIFY(!form->parent());
    QCOMPARE(form->windowFlags(), stayOnTopFlags());

    // A host that only dlopens the plug-in reaches the same window by name.
    QLibrary plugin(qEnvironmentVariable("CLOUDPATIENT_PLUGIN"));
    QVERIFY2(plugin.load(), qPrintable(plugin.errorString()));
    using GetInstance = UploadStudyProgressForm* (*)();
    const auto getInstance = reinterpret_cast<GetInstance>(plugin.resolve("_ZN23UploadStudyProgressForm11getInstanceEv"));
    QVERIFY(getInstance);
    QCOMPARE(getInstance(), form);
}

void TestUpload::progressFillsRowAndBar_data()
{
    QTest::addColumn<Reports>("reports");
    QTest::addColumn<int>("finishedWith");  // -1: the task has not ended
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QStringList>("counts");

    QTest::newRow("7 handled, 5 sent of 10") << Reports{{1, 1, 10}, {7, 5, 10}} << -1 << 7 << 1 << 10
                                             << QStringList{"10", "5", "2"};
    QTest::newRow("ends with 8 of 10") << Reports{{1, 1, 10}, {10, 8, 10}} << 8 << 8 << 1 << 10
                                       << QStringList{"10", "8", "2"};
    QTest::newRow("ends with none sent: bar stays") << Reports{{1, 0, 4}, {4, 0, 4}} << 0 << 4 << 1 << 4
                                                    << QStringList{"4", "0", "4"};
    QTest::newRow("no first report: default range") << Reports{{3, 3, 10}} << -1 << 3 << 0 << 100
                                                     << QStringList{"10", "3", "0"};
    QTest::newRow("value beyond the range is ignored") << Reports{{1, 1, 2}, {5, 5, 2}} << -1 << 1 << 1 << 2
                                                       << QStringList{"2", "5", "0"};
}

void TestUpload::progressFillsRowAndBar()
{
    QFETCH(Reports, reports);
    QFETCH(int, finishedWith);
    QFETCH(int, value);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(QStringList, counts);

    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    gate.close();
    const int total = reports.constFirst().total;
    form.addUploadTask(copies(sample, total), QStringLiteral("Patient"), QByteArray());
    UpLoadTask* task = handler->tasks.value(0);
    QVERIFY(task);
    for (const Report& report : reports)
        emit task->progress(report.handled, report.succeeded, report.total, task);
    if (finishedWith >= 0)
        emit task->finshUpLoad(finishedWith, total, {}, "{}");

    const auto* bar = form.findChild<QProgressBar*>();
    QCOMPARE(bar->value(), value);
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(Access::rows(form), (QVector<QStringList>{QStringList{QString::number(task->getTaskId()), "Patient"} + counts}));

    emit task->finshTask(task);
    QTRY_VERIFY(allGone(*handler));
}

void TestUpload::tasksShareTheBar()
{
    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    gate.close();
    form.addUploadTask(copies(sample, 10), QStringLiteral("A"), QByteArray());
    form.addUploadTask(copies(sample, 4), QStringLiteral("B"), QByteArray());
    QCOMPARE(handler->tasks.size(), 2);
    UpLoadTask* a = handler->tasks[0];
    UpLoadTask* b = handler->tasks[1];
    const auto* bar = form.findChild<QProgressBar*>();

    emit a->progress(1, 1, 10, a);
    emit a->progress(5, 4, 10, a);
    QCOMPARE(bar->maximum(), 10);
    QCOMPARE(bar->value(), 5);
    emit b->progress(1, 0, 4, b);
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 1);
    emit a->progress(6, 5, 10, a);
    QCOMPARE(bar->value(), 1);  // 6 lies outside B's range
    emit b->progress(3, 2, 4, b);
    QCOMPARE(bar->value(), 3);

    const QString idA = QString::number(a->getTaskId());
    QCOMPARE(Access::rows(form), (QVector<QStringList>{{idA, "A", "10", "5", "1"},
                                                       {QString::number(idA.toInt() + 1), "B", "4", "2", "1"}}));
    finishTasks(*handler);
    QTRY_VERIFY(allGone(*handler));
}

void TestUpload::repeatedTextBlocksTask_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("blocked");

    QTest::newRow("same name") << "Alice" << true;
    QTest::newRow("a count cell") << "3" << true;
    QTest::newRow("a zero cell") << "0" << true;
    QTest::newRow("the task number") << "<id>" << true;
    QTest::newRow("other case") << "alice" << false;
    QTest::newRow("trailing blank") << "Alice " << false;
    QTest::newRow("part of a name") << "Ali" << false;
    QTest::newRow("empty name") << "" << false;
}

void TestUpload::repeatedTextBlocksTask()
{
    QFETCH(QString, name);
    QFETCH(bool, blocked);

    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    gate.close();
    form.addUploadTask(copies(sample, 3), QStringLiteral("Alice"), QByteArray());
    const int first = handler->tasks.value(0)->getTaskId();
    if (name == QLatin1String("<id>"))
        name = QString::number(first);

    form.addUploadTask({sample}, name, QByteArray());
    const QVector<QStringList> rows = Access::rows(form);
    QCOMPARE(handler->tasks.size(), blocked ? 1 : 2);
    QCOMPARE(rows.size(), blocked ? 1 : 2);
    QCOMPARE(rows[0], (QStringList{QString::number(first), "Alice", "3", "0", "0"}));
    if (!blocked)  // a blocked attempt takes no number either
        QCOMPARE(rows[1], (QStringList{QString::number(first + 1), name, "1", "0", "0"}));

    finishTasks(*handler);
    QTRY_VERIFY(allGone(*handler));
}

void TestUpload::finishedTaskPassesReplyOn_data()
{
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("known study") << QByteArray(R"({"rischeckserialnum":"A123"})");
    QTest::newRow("not in cloud") << QByteArray("{}");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("zero byte and invalid UTF-8") << QByteArray("{\"r\0\xff\"}", 7);
}

void TestUpload::finishedTaskPassesReplyOn()
{
    QFETCH(QByteArray, reply);

    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    gate.close();
    form.addUploadTask(copies(sample, 3), QStringLiteral("Bob"), QByteArray());
    UpLoadTask* task = handler->tasks.value(0);
    QVERIFY(task);
    QSignalSpy passed(&form, &UploadStudyProgressForm::sCheckNum);

    emit task->finshUpLoad(2, 3, {sample}, reply);
    QCOMPARE(passed.count(), 1);
    QCOMPARE(passed[0][0].toByteArray(), reply);
    QCOMPARE(form.findChild<QProgressBar*>()->value(), 2);
    // The end leaves the row as the last progress report had it.
    QCOMPARE(Access::rows(form)[0].mid(2), (QStringList{"3", "0", "0"}));

    emit task->finshTask(task);
    QTRY_VERIFY(allGone(*handler));
    QCOMPARE(passed.count(), 1);
}

void TestUpload::realUploadCountsFiles()
{
    const QString missing = dir.filePath(QStringLiteral("missing.dcm"));
    const QString second = dir.filePath(QStringLiteral("second.dcm"));
    QVERIFY(writeFile(second, "second image"));
    HttpUploadFile::instance()->setJsessionid(QByteArray("sess-42\0rest", 12));

    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    QSignalSpy passed(&form, &UploadStudyProgressForm::sCheckNum);
    form.addUploadTask({sample, missing, second, sample}, QStringLiteral("Real Patient"), "extra");
    QCOMPARE(handler->jsessionid, QByteArray("sess-42"));
    QCOMPARE(handler->assistUrl, server.url(QStringLiteral("/upload")).toUtf8());
    QCOMPARE(handler->extraData, QByteArray("extra"));

    // The task ends by itself and the form deletes it.
    QTRY_VERIFY(allGone(*handler));
    const QString id = Access::rows(form)[0][0];
    QCOMPARE(Access::rows(form), (QVector<QStringList>{{id, "Real Patient", "4", "3", "1"}}));
    const auto* bar = form.findChild<QProgressBar*>();
    QCOMPARE(bar->value(), 3);
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(passed.count(), 1);
    QCOMPARE(passed[0][0].toByteArray(), QByteArray(R"({"rischeckserialnum":"sample.dcm"})"));

    const std::vector<RecordedRequest> uploads = server.requests("/upload");
    QCOMPARE(uploads.size(), size_t(3));
    QStringList sent;
    for (const RecordedRequest& upload : uploads) {
        QCOMPARE(upload.header("Cookie"), std::string("JSESSIONID=sess-42"));
        QCOMPARE(upload.parts.size(), size_t(1));
        sent << QString::fromStdString(upload.parts[0].filename + "=" + upload.parts[0].content);
    }
    QCOMPARE(sent, (QStringList{"sample.dcm=DICM sample", "second.dcm=second image", "sample.dcm=DICM sample"}));
}

void TestUpload::handlerTakesSettings()
{
    const QString proxyFile = QCoreApplication::applicationDirPath() + "/../config/proxy.txt";
    QVERIFY(writeFile(proxyFile, QString::fromUtf8("http://127.0.0.1:1\nhttp\nuser\npäss").toUtf8().toBase64()));
    HttpUploadFile::instance()->setJsessionid("sess");

    UploadStudyProgressForm form;
    const auto handler = Access::record(form);
    form.addUploadTask({}, QStringLiteral("Nobody"), "bytes");
    QFile::remove(proxyFile);

    QCOMPARE(handler->jsessionid, QByteArray("sess"));
    QCOMPARE(handler->proxyURL, QByteArray("http://127.0.0.1:1"));
    QCOMPARE(handler->proxyType, QByteArray("http"));
    QCOMPARE(handler->proxyUser, QStringLiteral("user"));
    QCOMPARE(handler->proxyPassword, QString::fromUtf8("päss"));
    QCOMPARE(handler->proxyUserPassword, QString::fromUtf8("user:päss").toUtf8());
    QCOMPARE(handler->extraData, QByteArray("bytes"));
    // A study without images still gets its task and row.
    QCOMPARE(Access::rows(form)[0].mid(1), (QStringList{"Nobody", "0", "0", "0"}));
    QTRY_VERIFY(allGone(*handler));
}

void TestUpload::folderUploadSendsEntries()
{
    HttpUploadFile::instance()->setJsessionid("folder-session");
    UploadStudyProgressForm form;  // no study upload yet: no handler
    QSignalSpy passed(&form, &UploadStudyProgressForm::sCheckNum);
    FolderDialogAnswerer answerer(caseFolder);
    QVERIFY(QMetaObject::invokeMethod(&form, "on_selectFloders_clicked"));
    QVERIFY(!answerer.stuck);
    QCOMPARE(answerer.mode, QFileDialog::Directory);
    QCOMPARE(answerer.parent, &form);

    const CloudClientAsyncHandler* handler = Access::handler(form);
    QVERIFY(handler);
    QCOMPARE(handler->jsessionid, QByteArray("folder-session"));
    QCOMPARE(handler->assistUrl, server.url(QStringLiteral("/upload")).toUtf8());
    // a.dcm, sub, sub/b.dcm, sub/deeper, sub/deeper/c.dcm, emptysub and link
    QCOMPARE(Access::rows(form)[0].mid(1), (QStringList{"case7", "7"}));

    QTRY_COMPARE(passed.count(), 1);
    QStringList sent;
    for (const RecordedRequest& upload : server.requests("/upload")) {
        if (!upload.parts.empty())
            sent << QString::fromStdString(upload.parts[0].filename);
    }
    sent.sort();
    // Hidden entries and the linked folder's content stay behind; folders fail.
    QCOMPARE(sent, (QStringList{"a.dcm", "b.dcm", "c.dcm"}));
    QTRY_COMPARE(Access::rows(form)[0].mid(2), (QStringList{"7", "3", "4"}));
}

void TestUpload::folderDialogCancelled()
{
    UploadStudyProgressForm form;
    FolderDialogAnswerer answerer{QString()};
    QVERIFY(QMetaObject::invokeMethod(&form, "on_selectFloders_clicked"));
    QVERIFY(!answerer.stuck);
    QCOMPARE(answerer.mode, QFileDialog::Directory);
    QVERIFY(Access::rows(form).isEmpty());
    QVERIFY(!Access::handler(form));
}

void TestUpload::folderNameOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");

    QTest::newRow("drive path") << "D:/scans/case7" << "case7";
    QTest::newRow("trailing slash") << "/data/case7/" << "";
    QTest::newRow("root") << "/" << "";
    QTest::newRow("bare name") << "case7" << "case7";
    QTest::newRow("empty") << "" << "";
}

void TestUpload::folderNameOf()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(::folderNameOf(path), name);
}

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
