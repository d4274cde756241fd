#include "cloudclientasynchandler.h"
#include "faultserver.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "testserver.h"
#include "uploadfilesmodel.h"
#include "uploadtask.h"
#include "wanrelay.h"
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

// Files named "bad" are refused with 404; "slow" get no answer until @p release is set (30 s at most), and
// so does the first try of "slowonce"; every other file is taken with a reply naming it. @p release must
// outlive the server.
void serveUploads(TestServer& server, const std::string& path, const std::atomic<bool>* release = nullptr)
{
    auto stalled = std::make_shared<std::atomic<bool>>(false);
    server.setHandler("POST", path, [release, stalled](const httplib::Request& request, httplib::Response& response) {
        const auto file = request.files.find("file");
        const std::string name = file == request.files.end() ? std::string() : file->second.filename;
        if (name == "slow" || (name == "slowonce" && !stalled->exchange(true))) {
            for (int i = 0; i < 3000 && !(release && *release); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (name.empty() || name == "bad")
            response.status = 404;
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

// Writes the [cloud] group of the clouddata.ini that tasks read as they are made; null: no file.
void writeCloudSettings(const QByteArray& lines)
{
    writeFile(QCoreApplication::applicationDirPath() + "/config/clouddata.ini",
              lines.isNull() ? QByteArray() : "[cloud]\n" + lines);
}

// Paths of @p count files below @p dir, named by @p name with "%1" for the number, each holding its name.
QStringList writeFiles(const QTemporaryDir& dir, const QString& name, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        paths << dir.filePath(name.arg(i));
        writeFile(paths.last(), QFileInfo(paths.last()).fileName().toUtf8());
    }
    return paths;
}

// The reply that serveUploads gives for @p name.
QString replyFor(const QString& name)
{
    return QStringLiteral(R"({"rischeckserialnum":"%1"})").arg(name);
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
        QTest::addColumn<QStringList>("emitted");
        const QString reply = R"({"rischeckserialnum":"%1"})";
        QTest::newRow("all taken") << QStringList{"1.dcm", "影像 2.dcm", "big.dcm", "empty"} << QString()
                                   << QStringList{"progress 1 1 4", "progress 2 2 4", "progress 3 3 4",
                                                  "progress 4 4 4", "end 4 4 [] " + reply.arg("empty"), "finshTask"};
        QTest::newRow("failures") << QStringList{"dir", "a", "missing", "bad"} << QString()
                                  << QStringList{"progress 1 0 4", "progress 2 1 4", "progress 3 1 4", "progress 4 1 4",
                                                 "end 1 4 [dir,missing,bad] " + reply.arg("a"), "finshTask"};
        // Nobody listening: closedPortFailsFast.
        QTest::newRow("no files") << QStringList() << QString() << QStringList{"end 0 0 [] {}", "finshTask"};
        const QStringList one{"progress 1 1 1", "end 1 1 [] " + reply.arg("a"), "finshTask"};
        QTest::newRow("proxy with user") << QStringList{"a"} << "alice" << one;
        QTest::newRow("proxy without user") << QStringList{"a"} << "" << one;
    }

    void cleanup() { writeCloudSettings(QByteArray()); }

    void upload()
    {
        // One connection and no retries: the files settle in order, each on its first try.
        writeCloudSettings("uploadConnections=1\nuploadRetries=0\n");
        QFETCH(QStringList, names);
        QFETCH(QString, proxyUser);
        QFETCH(QStringList, emitted);
        TestServer server, proxy;
        serveUploads(server, "/upload");
        serveUploads(proxy, server.url("/upload").toStdString());
        auto handler = handlerFor(server.url("/upload"));
        handler->proxyURL = proxyUser.isNull() ? QByteArray() : proxy.url().toUtf8();
        handler->proxyUser = proxyUser;
        handler->proxyUserPassword = (proxyUser + ":pw").toUtf8();
        handler->proxyType = "http";
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
        const TestServer* seen = proxyUser.isNull() ? &server : &proxy;
        const QByteArray credentials = proxyUser.isEmpty() ? "" : "Basic " + (proxyUser + ":pw").toUtf8().toBase64();
        std::set<int> connections;
        for (const RecordedRequest& request : seen->requests()) {
            QCOMPARE(request.header("Cookie"), std::string("JSESSIONID=abc123"));
            QCOMPARE(QByteArray::fromStdString(request.header("Proxy-Authorization")), credentials);
            QCOMPARE(request.headerCount("Expect"), size_t(0));  // no wait for "100 Continue"
            QCOMPARE(request.parts.size(), size_t(1));
            QCOMPARE(request.parts[0].name, std::string("file"));
            QVERIFY(QByteArray::fromStdString(request.parts[0].content) == unsent[request.parts[0].filename]);
            unsent.erase(request.parts[0].filename);
            connections.insert(request.remote_port);
        }
        QVERIFY2(unsent.empty(), "every readable file is sent once");
        QVERIFY(connections.size() <= 1);
    }

    // Each file's tries as the server sees them and how many run at once, by the settings and the answer to
    // each try.
    void tries_data()
    {
        QTest::addColumn<QByteArray>("settings");  // clouddata.ini lines; null: no file
        QTest::addColumn<QList<int>>("statuses");  // the answer to each try of a file; the last repeats
        QTest::addColumn<int>("atOnce");
        QTest::addColumn<int>("tries");  // of each file
        const QList<int> ok{200};
        QTest::newRow("default connections") << QByteArray() << ok << 4 << 1;
        QTest::newRow("one connection") << QByteArray("uploadConnections=1\n") << ok << 1 << 1;
        QTest::newRow("two connections") << QByteArray("uploadConnections=2\n") << ok << 2 << 1;
        QTest::newRow("empty connections") << QByteArray("uploadConnections=\n") << ok << 4 << 1;
        QTest::newRow("zero connections") << QByteArray("uploadConnections=0\n") << ok << 4 << 1;
        QTest::newRow("connections not a number") << QByteArray("uploadConnections=many\n") << ok << 4 << 1;
        QTest::newRow("503 first") << QByteArray() << QList<int>{503, 200} << 4 << 2;
        QTest::newRow("408, 429, then taken") << QByteArray() << QList<int>{408, 429, 200} << 4 << 3;
        QTest::newRow("500 beyond the retries") << QByteArray("uploadRetries=1\n") << QList<int>{500} << 4 << 2;
        QTest::newRow("no retries") << QByteArray("uploadRetries=0\n") << QList<int>{503, 200} << 4 << 1;
        QTest::newRow("404 not retried") << QByteArray() << QList<int>{404, 200} << 4 << 1;
        QTest::newRow("400 not retried") << QByteArray("uploadRetries=3\n") << QList<int>{400, 200} << 4 << 1;
        QTest::newRow("a redirect is an answer") << QByteArray() << QList<int>{302, 200} << 4 << 1;
    }

    void tries()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QList<int>, statuses);
        QFETCH(int, atOnce);
        QFETCH(int, tries);
        std::mutex mutex;
        std::map<std::string, int> seen;  // tries per file
        std::atomic<int> active{0}, most{0};
        TestServer server;
        server.setHandler("POST", "/upload", [&](const httplib::Request& request, httplib::Response& response) {
            const int now = ++active;
            for (int was = most; now > was && !most.compare_exchange_weak(was, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            --active;
            const auto file = request.files.find("file");
            const std::string name = file == request.files.end() ? std::string() : file->second.filename;
            std::lock_guard<std::mutex> lock(mutex);
            response.status = statuses.value(seen[name]++, statuses.last());
            response.set_content(replyFor(QString::fromStdString(name)).toStdString(), "application/json");
        });
        writeCloudSettings(settings);
        QTemporaryDir dir;
        const QStringList files = writeFiles(dir, "%1.dcm", 8);
        UpLoadTask* task = handlerFor(server.url("/upload"))->newUpLoadTask(files);
        TaskRecorder recorder(task);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines().value(9), QStringLiteral("finshTask"), 15000);
        const QString end = recorder.lines().at(8);
        const bool sent = statuses.value(tries - 1, statuses.last()) == 200;
        QVERIFY2(end.startsWith(sent ? "end 8 8 [] {\"rischeckserialnum\""
                                     : "end 0 8 [0.dcm,1.dcm,2.dcm,3.dcm,4.dcm,5.dcm,6.dcm,7.dcm] {}"),
                 qPrintable(end));
        QCOMPARE(most.load(), atOnce);
        std::set<int> connections;
        for (const RecordedRequest& request : server.requests())
            connections.insert(request.remote_port);
        QVERIFY2(int(connections.size()) >= atOnce, "each transfer at once has a connection of its own");
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(int(seen.size()), files.size());
        for (const auto& [name, count] : seen)
            QCOMPARE(count, tries);
    }

    // A try broken off: the first connection reset half-way through the file's body, or a stalled try
    // that fails after requestTimeout; a retry may then go through.
    void brokenTry_data()
    {
        QTest::addColumn<bool>("stall");
        QTest::addColumn<QByteArray>("retries");
        QTest::addColumn<QStringList>("emitted");
        QTest::addColumn<int>("connections");  // to the resetting peer
        QTest::newRow("reset, retried") << false << QByteArray() << QStringList{"progress 1 1 1", "end 1 1 [] " + replyFor("R"), "finshTask"} << 2;
        QTest::newRow("reset, no retries") << false << QByteArray("0") << QStringList{"progress 1 0 1", "end 0 1 [big.dcm] {}", "finshTask"} << 1;
        QTest::newRow("stall, retried") << true << QByteArray() << QStringList{"progress 1 1 2", "progress 2 2 2", "end 2 2 [] " + replyFor("slowonce"), "finshTask"} << 0;
        QTest::newRow("stall, no retries") << true << QByteArray("0") << QStringList{"progress 1 1 2", "progress 2 1 2", "end 1 2 [slowonce] " + replyFor("a"), "finshTask"} << 0;
    }

    void brokenTry()
    {
        QFETCH(bool, stall);
        QFETCH(QByteArray, retries);
        QFETCH(QStringList, emitted);
        QFETCH(int, connections);
        std::atomic<bool> release{false};
        TestServer stalling;
        serveUploads(stalling, "/upload", &release);
        FaultServer resetting(FaultServer::ResetFirst, replyFor("R").toStdString());
        QTemporaryDir dir;
        const QStringList files = stall ? QStringList{dir.filePath("slowonce"), dir.filePath("a")} : QStringList{dir.filePath("big.dcm")};
        for (const QString& file : files)
            writeFile(file, stall ? QByteArray("x") : QByteArray(1 << 20, 'b'));
        writeCloudSettings(QByteArray(stall ? "requestTimeout=1\n" : "") + "uploadRetries=" + retries + "\n");
        UpLoadTask* task = handlerFor((stall ? stalling.url("/upload") : resetting.url("/upload")))->newUpLoadTask(files);
        writeCloudSettings(QByteArray());  // the task keeps the settings it was created with
        TaskRecorder recorder(task);
        // libcurl judges the speed over its last five seconds or so, hence the slack; the stall lasts 30 s.
        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines(), emitted, 9000);
        release = true;
        QCOMPARE(resetting.connections(), connections);
    }

    void closedPortFailsFast()
    {
        FaultServer closed(FaultServer::Refused);
        QTemporaryDir dir;
        writeFile(dir.filePath("a"), "a");
        const QStringList files = QVector<QString>(1000, dir.filePath("a")).toList();
        QElapsedTimer clock;
        clock.start();
        UpLoadTask* task = handlerFor(closed.url("/upload"))->newUpLoadTask(files);
        TaskRecorder recorder(task);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines().size(), 1002, 10000);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        const QStringList lines = recorder.lines();
        for (int i = 0; i < 1000; ++i)
            QCOMPARE(lines[i], QStringLiteral("progress %1 0 1000").arg(i + 1));
        QCOMPARE(lines[1000], "end 0 1000 [" + QVector<QString>(1000, "a").toList().join(',') + "] {}");
    }

    // Files of mixed fates over four connections through a link with a round trip, so that they settle out of order.
    void signalsInOrderOverFourConnections()
    {
        TestServer server;
        serveUploads(server, "/upload");
        WanLink link;
        link.oneWayDelay = std::chrono::milliseconds(5);
        WanRelay relay(server.port(), link);
        QTemporaryDir dir;
        QStringList files;
        QStringList failed;
        for (int i = 0; i < 30; ++i) {
            const QString name = i % 7 == 3 ? "bad" : i % 11 == 5 ? "missing" : QString::number(i);
            files << dir.filePath(QString::number(i) + '/' + name);
            if (name != "missing")
                writeFile(files.last(), QByteArray(i * 4000, 'x'));
            if (!name.front().isDigit())
                failed << name;
        }
        UpLoadTask* task = handlerFor(QStringLiteral("http://127.0.0.1:%1/upload").arg(relay.port()))->newUpLoadTask(files);
        TaskRecorder recorder(task);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.lines().value(31), QStringLiteral("finshTask"), 20000);
        QTest::qWait(100);
        const QStringList lines = recorder.lines();
        QCOMPARE(lines.size(), 32);  // nothing after finshTask
        int sent = 0;
        for (int i = 0; i < 30; ++i) {
            const QStringList counts = lines[i].split(' ');  // progress, handled, sent, total
            QCOMPARE(counts.value(0), QStringLiteral("progress"));
            QCOMPARE(counts.value(1).toInt(), i + 1);
            QCOMPARE(counts.value(3), QStringLiteral("30"));
            QVERIFY2(counts.value(2).toInt() >= sent, "succeeded never falls");
            sent = counts.value(2).toInt();
        }
        QCOMPARE(sent, 30 - failed.size());
        QVERIFY2(lines[30].startsWith(QStringLiteral("end %1 30 [%2] {\"rischeckserialnum\":\"").arg(sent).arg(failed.join(','))),
                 qPrintable(lines[30]));
    }

    // Deleted while four transfers wait on the server: it stops at once and says no more.
    void deletingTaskMidUpload()
    {
        std::atomic<bool> release{false};  // outlives the server's handler threads
        TestServer server;
        serveUploads(server, "/upload", &release);
        QTemporaryDir dir;
        writeFile(dir.filePath("a"), "a");
        writeFile(dir.filePath("slow"), "x");
        UpLoadTask* task = handlerFor(server.url("/upload"))->newUpLoadTask(
            QStringList{dir.filePath("a"), dir.filePath("a")} + QVector<QString>(8, dir.filePath("slow")).toList());
        TaskRecorder recorder(task);
        QTRY_VERIFY(recorder.lines().size() == 2 && server.requests().size() == 6);
        QElapsedTimer clock;
        clock.start();
        delete task;
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        release = true;
        QTest::qWait(100);
        QCOMPARE(recorder.lines(), (QStringList{"progress 1 1 10", "progress 2 2 10"}));
        QCOMPARE(server.requests().size(), size_t(6));
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
