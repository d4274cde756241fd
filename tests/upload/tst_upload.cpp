#include "formfixture.h"
#include "testserver.h"
#include "uploadaccess.h"
#include "uploadinput.h"
#include "uploadtask.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <atomic>
#include <thread>

using Access = UploadStudyProgressFormTestAccess;

// Signals of driven tasks, each: task 'A' (10 files) or 'B' (4 files), files
// handled, sent and in all; handled -1 is the task's end with `sent` files sent.
using Reports = QVector<QVector<int>>;

namespace {

// Only its bytes survive the hand-on: a zero byte and invalid UTF-8.
const QByteArray oddReply("{\"r\0\xff\"}", 7);

// Runs the folder upload of @p form, answering its dialog like a person: the
// folder typed into the name field and Open pressed, or Cancel for none.
// True when the dialog asked for one folder, with the form as its parent.
bool uploadFolder(UploadStudyProgressForm& form, const QString& folder)
{
    bool asked = false;
    int polls = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog && polls++ > 0)  // still open after the answer: give up rather than hang
            dialog->reject();
        if (!dialog || polls > 1)
            return;
        asked = dialog->fileMode() == QFileDialog::Directory && dialog->parentWidget() == &form;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(folder);
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        buttons->button(folder.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Open)->click();
    });
    timer.start(20);
    return QMetaObject::invokeMethod(&form, "on_selectFloders_clicked") && asked && polls == 1;
}

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { held = false; }
    void cleanupTestCase() { FormFiles::clear(); }

    void initTestCase()
    {
        sample = dir.filePath(QStringLiteral("sample.dcm"));
        QVERIFY(FormFiles::write(sample, "DICM sample"));
        // case7 holds files at every depth, hidden entries and a linked folder.
        caseFolder = dir.filePath(QStringLiteral("scans/case7"));
        for (const char* file : {"a.dcm", ".hidden", "sub/b.dcm", "sub/.hidden2", "sub/deeper/c.dcm", ".hiddendir/h.dcm",
                                 "../outside/o.dcm"})
            QVERIFY(FormFiles::write(caseFolder + '/' + file, file));
        QVERIFY(QDir(caseFolder).mkdir(QStringLiteral("emptysub")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("scans/outside")), caseFolder + "/link"));

        // Replies name the file, so the reply a task hands on shows which upload it came from.
        server.setHandler("POST", "/upload", [this](const httplib::Request& request, httplib::Response& response) {
            for (int i = 0; i < 3000 && held; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::string name = request.files.empty() ? std::string() : request.files.begin()->second.filename;
            response.set_content("{\"rischeckserialnum\":\"" + name + "\"}", "application/json");
        });
        formcloud::setCloudValue(QStringLiteral("cloud/assistUrl"), server.url(QStringLiteral("/upload")));
        QCOMPARE(HttpUploadFile::instance()->getAssistUrl(), server.url(QStringLiteral("/upload")));
    }

    // First: it relies on no study upload having happened in the process.
    void numbersStudyUploadsOnly()
    {
        UploadStudyProgressForm* form = UploadStudyProgressForm::getInstance();
        QVERIFY(UploadStudyProgressForm::getInstance() == form && !form->parent());

        // A cancelled folder dialog starts nothing and takes no number.
        QVERIFY(uploadFolder(*form, QString()));
        QVERIFY(Access::rows(*form).isEmpty());
        QSignalSpy finished(form, &UploadStudyProgressForm::sCheckNum);
        HttpUploadFile::instance()->setJsessionid("first");
        held = true;  // the dialog's event loop must not let the first upload end early
        form->addUploadTask({sample}, QStringLiteral("First"), QByteArray());
        QVERIFY(form->isVisible());  // the first study upload shows the window
        HttpUploadFile::instance()->setJsessionid("later");
        QVERIFY(uploadFolder(*form, caseFolder));
        // A folder upload keeps the settings of the last study upload.
        QCOMPARE(Access::handler(*form)->jsessionid, QByteArray("first"));
        form->addUploadTask({sample}, QStringLiteral("First"), QByteArray());  // blocked: no row, no number
        HttpUploadFile::instance()->setJsessionid(QByteArray("second\0rest", 11));
        form->addUploadTask({sample, dir.filePath(QStringLiteral("missing.dcm")), sample}, QStringLiteral("Second"), "extra");
        QCOMPARE(Access::handler(*form)->jsessionid, QByteArray("second"));
        QCOMPARE(Access::handler(*form)->extraData, QByteArray("extra"));

        // a.dcm, sub, sub/b.dcm, sub/deeper, sub/deeper/c.dcm, emptysub and link; the
        // folder's task reports a negative number of its own.
        QVector<QStringList> rows = Access::rows(*form);
        QVERIFY(rows.value(1).value(0).toInt() < 0);
        rows[1][0] = "-";
        QCOMPARE(rows, (QVector<QStringList>{{"0", "First", "1", "0", "0"}, {"-", "case7", "7"}, {"1", "Second", "3", "0", "0"}}));

        // The tasks end by themselves, and their reports reach the rows.
        held = false;
        QTRY_COMPARE(finished.count(), 3);
        QTRY_COMPARE(Access::rows(*form)[2], (QStringList{"1", "Second", "3", "2", "1"}));
        QCOMPARE(Access::rows(*form)[0], (QStringList{"0", "First", "1", "1", "0"}));
    }

    // The window's flags and widgets are in tests/layout's dump.
    void hostInterface()
    {
        UploadStudyProgressForm form;
        // Hosts reach the methods by their index.
        QList<QByteArray> methods;
        for (int i = form.metaObject()->methodOffset(); i < form.metaObject()->methodCount(); ++i)
            methods << form.metaObject()->method(i).methodSignature();
        QCOMPARE(methods, (QList<QByteArray>{"sCheckNum(QByteArray)", "on_selectFloders_clicked()",
                                             "onProgress(int,int,int,UpLoadTask*)",
                                             "onFinshUpLoad(int,int,QStringList,QByteArray)", "onFinshTask(UpLoadTask*)"}));
        const QAbstractItemModel* model = form.findChild<QTableView*>()->model();
        QStringList titles;
        for (int column = 0; column < model->columnCount(); ++column)
            titles << model->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"病人id", "病人姓名", " 图像数", " 成功图片数", " 失败图片数"}));
    }

    void reportsFillRowsAndBar_data()
    {
        QTest::addColumn<Reports>("reports");
        QTest::addColumn<QString>("bar");  // value [minimum,maximum]
        QTest::addColumn<QStringList>("counts");  // files, sent and failed of A and of B

        // The end moves the bar only; the row keeps the last report's counts.
        QTest::newRow("ends with 8 of 10") << Reports{{'A', 1, 1, 10}, {'A', 9, 7, 10}, {'A', -1, 8, 10}} << "8 [1,10]"
                                           << QStringList{"10 7 2", "4 0 0"};
        QTest::newRow("ends without a report") << Reports{{'B', -1, 2, 4}} << "2 [0,100]" << QStringList{"10 0 0", "4 0 0"};
        // 0 lies outside the range that the first report set.
        QTest::newRow("ends with none sent") << Reports{{'B', 1, 0, 4}, {'B', 4, 0, 4}, {'B', -1, 0, 4}} << "4 [1,4]"
                                             << QStringList{"10 0 0", "4 0 4"};
        // B's first report takes the bar over; A's 6 then lies outside B's range.
        QTest::newRow("tasks share the bar") << Reports{{'A', 1, 1, 10}, {'A', 5, 4, 10}, {'B', 1, 0, 4}, {'A', 6, 5, 10}}
                                             << "1 [1,4]" << QStringList{"10 5 1", "4 0 1"};
    }

    void reportsFillRowsAndBar()
    {
        QFETCH(Reports, reports);
        QFETCH(QString, bar);
        QFETCH(QStringList, counts);

        UploadStudyProgressForm form;
        const auto handler = Access::record(form);
        held = true;
        form.addUploadTask(QVector<QString>(10, sample).toList(), QStringLiteral("A"), QByteArray());
        form.addUploadTask(QVector<QString>(4, sample).toList(), QStringLiteral("B"), QByteArray());
        QCOMPARE(handler->tasks.size(), 2);
        QSignalSpy passed(&form, &UploadStudyProgressForm::sCheckNum);
        int ends = 0;
        for (const QVector<int>& report : reports) {
            UpLoadTask* task = handler->tasks[report[0] - 'A'];
            if (report[1] >= 0)
                emit task->progress(report[1], report[2], report[3], task);
            else
                emit task->finshUpLoad(report[2], report[3], {sample}, oddReply);
            // Each end hands the task's reply on at once, and once.
            QCOMPARE(passed.count(), ends += report[1] < 0);
        }

        const auto* b = form.findChild<QProgressBar*>();
        QCOMPARE(QStringLiteral("%1 [%2,%3]").arg(b->value()).arg(b->minimum()).arg(b->maximum()), bar);
        const int a = handler->tasks[0]->getTaskId();
        QCOMPARE(Access::rows(form), (QVector<QStringList>{QStringList{QString::number(a), "A"} + counts[0].split(' '),
                                                           QStringList{QString::number(a + 1), "B"} + counts[1].split(' ')}));
        for (const QList<QVariant>& arguments : passed)
            QCOMPARE(arguments[0].toByteArray(), oddReply);
        for (const QPointer<UpLoadTask>& task : handler->tasks)
            emit task->finshTask(task);
        QTRY_VERIFY(!handler->tasks[0] && !handler->tasks[1]);
    }

    void handlerTakesProxySettings()
    {
        QVERIFY(FormFiles::write(FormFiles::dir("/../config/proxy.txt"),
                                 QString::fromUtf8("http://127.0.0.1:1\nhttp\nuser\npäss").toUtf8().toBase64()));
        CloudClientAsyncHandler handler;
        writeHandlerSettings(handler, *HttpUploadFile::instance(), "bytes");
        QFile::remove(FormFiles::dir("/../config/proxy.txt"));
        QCOMPARE(QStringList({handler.proxyURL, handler.proxyType, handler.proxyUser, handler.proxyPassword,
                              handler.proxyUserPassword, handler.extraData}),
                 QStringList({"http://127.0.0.1:1", "http", "user", "päss", "user:päss", "bytes"}));
    }

    // Whether the rows hold @p text as a whole cell, and the folder name a row shows for it as a path.
    void textHelpers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("held");
        QTest::addColumn<QString>("name");
        QTest::newRow("a name") << "Alice" << true << "Alice";
        QTest::newRow("a task number") << "-1" << true << "-1";
        QTest::newRow("other case") << "alice" << false << "alice";
        QTest::newRow("part of a cell") << "Ali" << false << "Ali";
        QTest::newRow("drive path") << "D:/scans/case7" << false << "case7";
        QTest::newRow("trailing slash") << "/data/case7/" << false << "";
    }

    void textHelpers()
    {
        QFETCH(QString, text);
        QFETCH(bool, held);
        QFETCH(QString, name);
        QCOMPARE(tableHoldsText({{"0", "Alice", "3", "0", "0"}, {"-1", "case7", "7"}}, text), held);
        QCOMPARE(folderNameOf(text), name);
    }

private:
    // Holds the server's upload replies, so that a real task stays on its
    // first file and the test alone decides what the form hears.
    std::atomic<bool> held{false};
    TestServer server;
    QTemporaryDir dir;
    QString sample;
    QString caseFolder;
};

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
