#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "testserver.h"
#include "uploadfilesmodel.h"
#include "uploadtask.h"
#include "zoxmessageboxform.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Writes @p content to @p path; a null content removes the file.
void writeFile(const QString& path, const QByteArray& content)
{
    QFile::remove(path);
    QFile file(path);
    if (!content.isNull())
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
                && file.write(content) == content.size());
}

// What a task emitted, one line per signal; " ON GUI" marks a signal sent from the GUI thread. Like an
// owner, it deletes the task after finshTask.
struct TaskRecorder
{
    explicit TaskRecorder(UpLoadTask* task)
    {
        const auto add = [this, task](const QString& line, UpLoadTask* sender) {
            const bool onGui = QThread::currentThread() == qApp->thread();
            std::lock_guard<std::mutex> lock(mutex);
            list << line + (onGui ? " ON GUI" : "") + (sender == task ? "" : " FOR ANOTHER TASK");
        };
        QObject::connect(task, &UpLoadTask::progress, task, [=](int handled, int sent, int total, UpLoadTask* t) {
            add(QStringLiteral("progress %1 %2 %3").arg(handled).arg(sent).arg(total), t);
        }, Qt::DirectConnection);
        QObject::connect(task, &UpLoadTask::finshUpLoad, task, [=](int sent, int total, QStringList failed,
                                                                   const QByteArray& reply) {
            for (QString& path : failed)
                path = QFileInfo(path).fileName();
            add(QStringLiteral("end %1 %2 [%3] %4").arg(sent).arg(total).arg(failed.join(','), reply), task);
        }, Qt::DirectConnection);
        QObject::connect(task, &UpLoadTask::finshTask, task, [=](UpLoadTask* t) {
            add("finshTask", t);
            t->deleteLater();
        }, Qt::DirectConnection);
    }

    QStringList lines()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return list;
    }

    std::mutex mutex;
    QStringList list;
};

// Files named "bad" are refused with 500; "slow" get no answer until @p release is set (30 s at most);
// every other file is taken with a reply naming it. @p release must outlive the server.
void serveUploads(TestServer& server, const std::string& path, const std::atomic<bool>* release = nullptr)
{
    server.setHandler("POST", path, [release](const httplib::Request& request, httplib::Response& response) {
        const auto file = request.files.find("file");
        if (file != request.files.end() && file->second.filename == "slow") {
            for (int i = 0; i < 3000 && !(release && *release); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (file == request.files.end() || file->second.filename == "bad")
            response.status = 500;
        else
            response.set_content(R"({"rischeckserialnum":")" + file->second.filename + "\"}", "application/json");
    });
}

std::shared_ptr<CloudClientAsyncHandler> handlerFor(const QString& url)
{
    auto handler = HttpUploadFile::instance()->newClientAsyncHandler();
    handler->jsessionid = "abc123";
    handler->assistUrl = url.toUtf8();
    return handler;
}

} // namespace

class TestSibling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A proxy from the environment must not be used: this one is gone.
        qputenv("http_proxy", TestServer().url().toUtf8());
    }

    void box_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<QStringList>("shown");  // the default first
        const QString ok = "okPushButton", cancel = "cancelPushButton";
        QTest::newRow("OK alone") << 1 << 1 << QStringList{ok};
        QTest::newRow("both, OK default") << 3 << 1 << QStringList{ok, cancel};
        QTest::newRow("both, Cancel default") << 3 << 2 << QStringList{cancel, ok};
        QTest::newRow("Cancel alone") << 2 << 1 << QStringList{cancel};
        QTest::newRow("no known bit shows OK") << 4 << 2 << QStringList{ok};
    }

    void box()
    {
        QFETCH(int, buttons);
        QFETCH(int, defaultButton);
        QFETCH(QStringList, shown);
        MessageBoxAnswerer answerer;
        zoxMessageBoxForm box(nullptr, QStringLiteral("System Hint"), QStringLiteral("text"), buttons, defaultButton);
        QStringList names;
        for (const QPushButton* button : box.findChildren<QPushButton*>())
            names.insert(button->isDefault() ? 0 : names.size(), button->objectName());
        QCOMPARE(names, shown);
        // Enter answers with the default button, also on the other one. (How the static boxes answer clicks,
        // the form areas check.)
        box.show();
        QTest::keyClick(box.findChild<QPushButton*>(shown.last()), Qt::Key_Return);
        QCOMPARE(box.result(), shown.first() == QLatin1String("okPushButton") ? 1 : 0);
        VERIFY_BOXES(answerer);
    }

    void settings_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("own");  // in "config" beside the binary; null: no file
        QTest::addColumn<QByteArray>("beside");  // in "../config"
        QTest::addColumn<QString>("read");  // getAssistUrl(), or getProxyURL() when the password reads "pw" too
        const QString ini = "clouddata.ini", proxy = "proxy.txt";
        const QByteArray a = "[cloud]\nassistUrl=http://a/up.do\n", b = "[cloud]\nassistUrl=http://b/up.do\n", no;
        const QString builtIn = QStringLiteral("http://127.0.0.1:8082/kelva/upload/uploadImage.do");
        QTest::newRow("no clouddata.ini") << ini << no << no << builtIn;
        QTest::newRow("beside only") << ini << no << b << "http://b/up.do";
        QTest::newRow("own wins") << ini << a << b << "http://a/up.do";
        QTest::newRow("empty value") << ini << QByteArray("[cloud]\nassistUrl=\n") << b << builtIn;
        // Valid proxy files are read back in the proxy and upload areas; these are the refusals.
        const QByteArray four = QByteArray("p:1\nhttp\nu\npw");
        QTest::newRow("proxy: four lines") << proxy << no << four.toBase64() << "p:1";
        QTest::newRow("line break after the text") << proxy << no << four.toBase64() + "\r\n" << "p:1";
        QTest::newRow("missing file") << proxy << no << no << "";
        QTest::newRow("not Base64") << proxy << no << four << "";
        QTest::newRow("stray bits") << proxy << no << QByteArray("cDoxCmh0dHAKdQpwdx==") << "";
        QTest::newRow("three lines") << proxy << no << QByteArray("p:1\nb\nc").toBase64() << "";
        QTest::newRow("line feed after the fourth") << proxy << no << (four + "\n").toBase64() << "";
        QTest::newRow("break inside Base64") << proxy << no << four.toBase64().insert(8, '\n') << "";
        QTest::newRow("not UTF-8") << proxy << no << QByteArray("p:1\nb\nc\n\xff").toBase64() << "";
        QTest::newRow("NUL inside") << proxy << no << QByteArray("p:1\nb\nc\nd\0", 10).toBase64() << "";
        QTest::newRow("too big") << proxy << no << (four + QByteArray(70000, 'p')).toBase64() << "";
    }

    void settings()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, own);
        QFETCH(QByteArray, beside);
        QFETCH(QString, read);
        const QString appDir = QCoreApplication::applicationDirPath();
        writeFile(appDir + "/config/" + file, own);
        writeFile(appDir + "/../config/" + file, beside);
        const HttpUploadFile* client = HttpUploadFile::instance();
        if (file == QLatin1String("clouddata.ini"))
            QCOMPARE(client->getAssistUrl(), read);
        else
            QCOMPARE(client->getProxyURL() + '|' + client->getProxyPassword(), read.isEmpty() ? "|" : read + "|pw");
    }

    void upload_data()
    {
        QTest::addColumn<QStringList>("names");  // "missing": no such file, "dir": a folder, "bad": refused with 500
        QTest::addColumn<QString>("proxyUser");  // null: no proxy
        QTest::addColumn<bool>("serverGone");
        QTest::addColumn<QStringList>("emitted");
        const QString reply = R"({"rischeckserialnum":"%1"})";
        QTest::newRow("all taken") << QStringList{"1.dcm", "影像 2.dcm", "big.dcm", "empty"} << QString() << false
                                   << QStringList{"progress 1 1 4", "progress 2 2 4", "progress 3 3 4",
                                                  "progress 4 4 4", "end 4 4 [] " + reply.arg("empty"), "finshTask"};
        QTest::newRow("failures") << QStringList{"dir", "a", "missing", "bad"} << QString() << false
                                  << QStringList{"progress 1 0 4", "progress 2 1 4", "progress 3 1 4", "progress 4 1 4",
                                                 "end 1 4 [dir,missing,bad] " + reply.arg("a"), "finshTask"};
        QTest::newRow("nobody listening") << QStringList{"a", "b"} << QString() << true
                                          << QStringList{"progress 1 0 2", "progress 2 0 2", "end 0 2 [a,b] {}",
                                                         "finshTask"};
        QTest::newRow("no files") << QStringList() << QString() << false << QStringList{"end 0 0 [] {}", "finshTask"};
        const QStringList one{"progress 1 1 1", "end 1 1 [] " + reply.arg("a"), "finshTask"};
        QTest::newRow("proxy with user") << QStringList{"a"} << "alice" << false << one;
        QTest::newRow("proxy without user") << QStringList{"a"} << "" << false << one;
    }

    void upload()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, proxyUser);
        QFETCH(bool, serverGone);
        QFETCH(QStringList, emitted);
        auto server = std::make_unique<TestServer>();
        TestServer proxy;
        serveUploads(*server, "/upload");
        serveUploads(proxy, server->url("/upload").toStdString());
        auto handler = handlerFor(server->url("/upload"));
        handler->proxyURL = proxyUser.isNull() ? QByteArray() : proxy.url().toUtf8();
        handler->proxyUser = proxyUser;
        handler->proxyUserPassword = (proxyUser + ":pw").toUtf8();
        handler->proxyType = "http";
        if (serverGone)
            server.reset();
        QTemporaryDir dir;
        QByteArray big(3 << 20, Qt::Uninitialized);  // every byte value, in a period that no buffer size divides
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i % 251);
        std::map<std::string, QByteArray> unsent;
        QStringList paths;
        for (const QString& name : names) {
            paths << dir.filePath(name);
            const QByteArray content = name == "big.dcm" ? big : name == "empty" ? "" : name.toUtf8();
            if (name == "dir")
                QVERIFY(QDir().mkpath(paths.last()));
            else if (name != "missing")
                writeFile(paths.last(), unsent[name.toStdString()] = content);
        }
        QPointer<UpLoadTask> task = handler->newUpLoadTask(paths);
        handler->jsessionid = "changed later";  // the task keeps the settings it was created with
        TaskRecorder recorder(task);
        QThread::msleep(100);
        QVERIFY2(recorder.lines().isEmpty(), "a task starts only when the event loop runs");

        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines(), emitted, 30000);
        QTRY_VERIFY(task.isNull());
        const TestServer* seen = proxyUser.isNull() ? server.get() : &proxy;
        const QByteArray credentials = proxyUser.isEmpty() ? "" : "Basic " + (proxyUser + ":pw").toUtf8().toBase64();
        std::set<int> connections;
        for (const RecordedRequest& request : seen ? seen->requests() : std::vector<RecordedRequest>()) {
            QCOMPARE(request.header("Cookie"), std::string("JSESSIONID=abc123"));
            QCOMPARE(QByteArray::fromStdString(request.header("Proxy-Authorization")), credentials);
            QCOMPARE(request.headerCount("Expect"), size_t(0));  // no wait for "100 Continue"
            QCOMPARE(request.parts.size(), size_t(1));
            QCOMPARE(request.parts[0].name, std::string("file"));
            QVERIFY(QByteArray::fromStdString(request.parts[0].content) == unsent[request.parts[0].filename]);
            unsent.erase(request.parts[0].filename);
            connections.insert(request.remote_port);
        }
        QVERIFY2(unsent.empty() || serverGone, "every readable file is sent once");
        QVERIFY(connections.size() <= 1);
    }

    void deletingStalledTaskAborts()
    {
        std::atomic<bool> release{false};  // outlives the server's handler threads
        TestServer server;
        serveUploads(server, "/upload", &release);
        QTemporaryDir dir;
        const QString slow = dir.filePath("slow");
        writeFile(slow, "x");
        UpLoadTask* task = handlerFor(server.url("/upload"))->newUpLoadTask({slow, slow});
        TaskRecorder recorder(task);
        QTRY_VERIFY(!server.requests().empty());
        QElapsedTimer clock;
        clock.start();
        delete task;
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        release = true;
        QTest::qWait(50);
        QCOMPARE(recorder.lines(), QStringList());  // nothing after the task is gone
    }

    void stalledFileFailsWithRequestTimeout()
    {
        std::atomic<bool> release{false};
        TestServer server;
        serveUploads(server, "/upload", &release);
        QTemporaryDir dir;
        writeFile(dir.filePath("slow"), "x");
        writeFile(dir.filePath("a"), "a");
        const QString ini = QCoreApplication::applicationDirPath() + "/config/clouddata.ini";
        writeFile(ini, "[cloud]\nrequestTimeout=1\n");
        UpLoadTask* task = handlerFor(server.url("/upload"))->newUpLoadTask({dir.filePath("slow"), dir.filePath("a")});
        writeFile(ini, QByteArray());  // the task keeps the bound it was created with
        TaskRecorder recorder(task);
        // libcurl judges the speed over its last five seconds or so, hence the slack; the stall lasts 30 s.
        const QStringList emitted{"progress 1 0 2", "progress 2 1 2", R"(end 1 2 [slow] {"rischeckserialnum":"a"})",
                                  "finshTask"};
        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines(), emitted, 9000);
        release = true;
    }

    void model()
    {
        UploadFilesModel model({"病人id", "病人姓名", " 图像数"});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.addRow({"0", "张三", "12"});
        model.addRow({"1", "folder"});  // shorter than the heads
        model.addRow({"0", "again"});
        model.updateRow({"0", "张三", "12", "3"});  // the first row with that key
        model.updateRow({"张三"});  // keys are first cells only
        const QVector<QStringList> rows{{"0", "张三", "12", "3"}, {"1", "folder"}, {"0", "again"}};
        QCOMPARE(model.getAllData(), rows);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(0, 2));
        QCOMPARE(model.data(model.index(1, 2)), QVariant(QString()));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("病人姓名"));
        QCOMPARE(model.flags(model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);  // not editable

        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setHeads({"A", "B", "C", "D"});
        QCOMPARE(reset.count(), 1);  // views cache the column count
        QCOMPARE(model.data(model.index(0, 3)).toString(), QStringLiteral("3"));
    }
};

QTEST_MAIN(TestSibling)
#include "tst_sibling.moc"
