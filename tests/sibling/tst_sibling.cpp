#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"
#include "messageboxanswerer.h"
#include "testserver.h"
#include "uploadfilesmodel.h"
#include "uploadtask.h"
#include "zoxmessageboxform.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <set>

namespace {

QString configDir(const char* below)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String(below));
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(content), qint64(content.size()));
}

QString proxyFile()
{
    return configDir("/../config/proxy.txt");
}

QByteArray proxyText(const QString& joined)
{
    return joined.toUtf8().toBase64();
}

// What a task emitted, seen from the emitting thread.
struct TaskEvent
{
    QString name;
    int handled = 0;
    int succeeded = 0;
    int total = 0;
    QStringList failed;
    QByteArray body;
    UpLoadTask* task = nullptr;
    bool offGuiThread = false;
};

class TaskRecorder
{
public:
    void watch(UpLoadTask* task)
    {
        auto offGui = [] { return QThread::currentThread() != qApp->thread(); };
        QObject::connect(task, &UpLoadTask::progress, task,
                         [=](int handled, int succeeded, int total, UpLoadTask* t) {
                             add({"progress", handled, succeeded, total, {}, {}, t, offGui()});
                         }, Qt::DirectConnection);
        QObject::connect(task, &UpLoadTask::finshUpLoad, task,
                         [=](int succeeded, int total, QStringList failed, QByteArray body) {
                             add({"finshUpLoad", 0, succeeded, total, failed, body, nullptr, offGui()});
                         }, Qt::DirectConnection);
        QObject::connect(task, &UpLoadTask::finshTask, task, [=](UpLoadTask* t) {
            add({"finshTask", 0, 0, 0, {}, {}, t, offGui()});
        }, Qt::DirectConnection);
        // The owner's way of ending a task: queued to the GUI thread, then deleteLater.
        QObject::connect(task, &UpLoadTask::finshTask, qApp, [](UpLoadTask* t) { t->deleteLater(); });
    }

    QVector<TaskEvent> events() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return list;
    }

    bool finished() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !list.isEmpty() && list.last().name == QLatin1String("finshTask");
    }

private:
    void add(TaskEvent event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        list << event;
    }

    mutable std::mutex mutex;
    QVector<TaskEvent> list;
};

std::string fileReply(const std::string& filename)
{
    return "{\"rischeckserialnum\":\"" + filename + "\"}";
}

// Files named "bad..." are refused with 500, every other file is taken.
void serveUploads(TestServer& server)
{
    server.setHandler("POST", "/upload", [](const httplib::Request& request, httplib::Response& response) {
        const auto file = request.files.find("file");
        if (file == request.files.end() || file->second.filename.rfind("bad", 0) == 0) {
            response.status = 500;
            response.set_content("error", "text/plain");
            return;
        }
        response.set_content(fileReply(file->second.filename), "application/json");
    });
}

std::shared_ptr<CloudClientAsyncHandler> handlerFor(const QString& url)
{
    auto handler = HttpUploadFile::instance()->newClientAsyncHandler();
    handler->jsessionid = "abc123";
    handler->assistUrl = url.toUtf8();
    return handler;
}

// Bytes of every value, NUL included, so that any copy that stops at a NUL shows.
QByteArray patterned(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed) & 0xff);
    return bytes;
}

} // namespace

class TestSibling : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void boxAnswers_data();
    void boxAnswers();
    void boxShape_data();
    void boxShape();
    void boxKeys_data();
    void boxKeys();

    void proxyGetters_data();
    void proxyGetters();
    void proxyFileReadWhenAsked();
    void assistUrl_data();
    void assistUrl();
    void sessionAndHandlers();

    void uploadsEveryFileOverOneConnection();
    void failedFilesAreCounted_data();
    void failedFilesAreCounted();
    void uploadGoesThroughProxy_data();
    void uploadGoesThroughProxy();
    void deletingStalledTaskAborts();
    void taskIdAndName();

    void modelRowsAndHeads();
    void modelSetHeads();
    void modelUpdateRow_data();
    void modelUpdateRow();
};

void TestSibling::cleanup()
{
    QFile::remove(proxyFile());
    QFile::remove(configDir("/config/clouddata.ini"));
    QFile::remove(configDir("/../config/clouddata.ini"));
}

void TestSibling::boxAnswers_data()
{
    QTest::addColumn<bool>("question");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("expected");

    const QString hint = QStringLiteral("System Hint");
    QTest::newRow("warning OK") << false << 1 << int(MessageBoxAnswerer::Accept) << hint << 1;
    QTest::newRow("warning closed") << false << 1 << int(MessageBoxAnswerer::CloseWindow) << hint << 0;
    QTest::newRow("question OK") << true << 3 << int(MessageBoxAnswerer::Accept) << hint << 1;
    QTest::newRow("question Cancel") << true << 3 << int(MessageBoxAnswerer::Decline) << hint << 0;
    QTest::newRow("question closed") << true << 3 << int(MessageBoxAnswerer::CloseWindow) << hint << 0;
    QTest::newRow("cancel only") << false << 2 << int(MessageBoxAnswerer::Decline) << hint << 0;
    QTest::newRow("other title") << true << 3 << int(MessageBoxAnswerer::Accept) << QStringLiteral("提示") << 1;
}

void TestSibling::boxAnswers()
{
    QFETCH(bool, question);
    QFETCH(int, buttons);
    QFETCH(int, answer);
    QFETCH(QString, title);
    QFETCH(int, expected);

    const QString text = QStringLiteral("Are you sure to SAVE ALL ?");
    MessageBoxAnswerer answerer;
    answerer.expect(text, MessageBoxAnswerer::Answer(answer), title);
    const int result = question ? zoxMessageBoxForm::question(nullptr, title, text, buttons, 1)
                                : zoxMessageBoxForm::warning(nullptr, title, text, buttons, 1);
    QCOMPARE(result, expected);
    QCOMPARE(answerer.seen(), QStringList{text});
    VERIFY_BOXES(answerer);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestSibling::boxShape_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<bool>("hasOk");
    QTest::addColumn<bool>("hasCancel");
    QTest::addColumn<QString>("defaultName");

    QTest::newRow("OK alone") << 1 << 1 << true << false << "okPushButton";
    QTest::newRow("both, OK default") << 3 << 1 << true << true << "okPushButton";
    QTest::newRow("both, Cancel default") << 3 << 2 << true << true << "cancelPushButton";
    QTest::newRow("Cancel alone") << 2 << 1 << false << true << "cancelPushButton";
    QTest::newRow("no known bit shows OK") << 0 << 0 << true << false << "okPushButton";
    QTest::newRow("unknown bits ignored") << (4 | 1) << 2 << true << false << "okPushButton";
}

void TestSibling::boxShape()
{
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(bool, hasOk);
    QFETCH(bool, hasCancel);
    QFETCH(QString, defaultName);

    const QString text = QStringLiteral("The information did not exist in Cloud, you have to upload the "
                                        "images to edit the information!");
    zoxMessageBoxForm box(nullptr, QStringLiteral("System Hint"), text, buttons, defaultButton);
    QCOMPARE(box.objectName(), QStringLiteral("zoxMessageBoxForm"));
    QCOMPARE(box.windowTitle(), QStringLiteral("System Hint"));
    QCOMPARE(box.windowModality(), Qt::ApplicationModal);
    auto* label = box.findChild<QLabel*>(QStringLiteral("messageLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QVERIFY(label->wordWrap());

    auto* ok = box.findChild<QPushButton*>(QStringLiteral("okPushButton"));
    auto* cancel = box.findChild<QPushButton*>(QStringLiteral("cancelPushButton"));
    QCOMPARE(ok != nullptr, hasOk);
    QCOMPARE(cancel != nullptr, hasCancel);
    QCOMPARE(box.findChildren<QPushButton*>().size(), int(hasOk) + int(hasCancel));
    for (QPushButton* button : box.findChildren<QPushButton*>())
        QCOMPARE(button->isDefault(), button->objectName() == defaultName);
}

void TestSibling::boxKeys_data()
{
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("Enter on OK") << 1 << int(Qt::Key_Return) << 1;
    QTest::newRow("Enter on Cancel") << 2 << int(Qt::Key_Return) << 0;
    QTest::newRow("Escape") << 1 << int(Qt::Key_Escape) << 0;
}

void TestSibling::boxKeys()
{
    QFETCH(int, defaultButton);
    QFETCH(int, key);
    QFETCH(int, expected);

    MessageBoxAnswerer answerer;
    zoxMessageBoxForm box(nullptr, QStringLiteral("System Hint"), QStringLiteral("text"), 3, defaultButton);
    box.setResult(-1);
    box.show();
    QTest::keyClick(&box, Qt::Key(key));
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), expected);
    VERIFY_BOXES(answerer);
}

void TestSibling::proxyGetters_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const QStringList none{QString(), QString(), QString(), QString()};
    const QStringList plain{"http://10.0.0.5:3128", "http", "alice", "s3cret:x"};
    const QString unicode = QStringLiteral("socks5://代理.example:1080\nsock5\nbjørn\npäss wörd");

    QTest::newRow("four lines") << true << proxyText(plain.join('\n')) << plain;
    QTest::newRow("non-ASCII") << true << proxyText(unicode) << unicode.split('\n');
    QTest::newRow("empty values") << true << proxyText("\n\n\nonly password") << QStringList{"", "", "", "only password"};
    QTest::newRow("line feed after file") << true << proxyText(plain.join('\n')) + "\r\n" << plain;
    QTest::newRow("missing file") << false << QByteArray() << none;
    QTest::newRow("empty file") << true << QByteArray() << none;
    QTest::newRow("not Base64") << true << QByteArray("http://10.0.0.5:3128\nhttp\nalice\npw") << none;
    QTest::newRow("three lines") << true << proxyText("a\nb\nc") << none;
    QTest::newRow("five lines") << true << proxyText("a\nb\nc\nd\ne") << none;
    QTest::newRow("line feed after fourth") << true << proxyText("a\nb\nc\nd\n") << none;
    QTest::newRow("padding missing") << true << proxyText("a\nb\nc\nd").replace('=', "") << none;
    QTest::newRow("break inside Base64") << true << proxyText(plain.join('\n')).insert(8, '\n') << none;
    QTest::newRow("URL-safe alphabet") << true << QByteArray("Pz8_\nPz8-").replace('\n', "") << none;
    QTest::newRow("not UTF-8") << true << QByteArray("\xff\xfe\na\nb\nc").toBase64() << none;
    QTest::newRow("NUL inside") << true << QByteArray("a\0b\nc\nd\ne", 9).toBase64() << none;
    QTest::newRow("too big") << true << proxyText("a\nb\nc\n" + QString(70000, 'p')) << none;
}

void TestSibling::proxyGetters()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    if (present)
        writeFile(proxyFile(), content);
    HttpUploadFile* client = HttpUploadFile::instance();
    const QStringList values{client->getProxyURL(), client->getProxyType(), client->getProxyUser(),
                             client->getProxyPassword()};
    QCOMPARE(values, expected);
}

void TestSibling::proxyFileReadWhenAsked()
{
    HttpUploadFile* client = HttpUploadFile::instance();
    writeFile(proxyFile(), proxyText("http://first:1\nhttp\nu\np"));
    QCOMPARE(client->getProxyURL(), QStringLiteral("http://first:1"));
    writeFile(proxyFile(), proxyText("http://second:2\nsock5\nv\nq"));
    QCOMPARE(client->getProxyURL(), QStringLiteral("http://second:2"));
    QCOMPARE(client->getProxyType(), QStringLiteral("sock5"));
    QVERIFY(QFile::remove(proxyFile()));
    QCOMPARE(client->getProxyURL(), QString());
}

void TestSibling::assistUrl_data()
{
    QTest::addColumn<QByteArray>("inside");   // config/ beside the binary; empty: no file
    QTest::addColumn<QByteArray>("outside");  // ../config/
    QTest::addColumn<QString>("expected");

    const QString builtIn = QStringLiteral("http://127.0.0.1:8082/kelva/upload/uploadImage.do");
    const QByteArray a = "[cloud]\nassistUrl=http://a.example/up.do\n";
    const QByteArray b = "[cloud]\nassistUrl=http://b.example/up.do\n";
    QTest::newRow("no file") << QByteArray() << QByteArray() << builtIn;
    QTest::newRow("config only") << a << QByteArray() << "http://a.example/up.do";
    QTest::newRow("../config only") << QByteArray() << b << "http://b.example/up.do";
    QTest::newRow("config wins") << a << b << "http://a.example/up.do";
    QTest::newRow("key missing") << QByteArray("[cloud]\nuploadCurl=http://x/\n") << b << builtIn;
    QTest::newRow("value empty") << QByteArray("[cloud]\nassistUrl=\n") << QByteArray() << builtIn;
}

void TestSibling::assistUrl()
{
    QFETCH(QByteArray, inside);
    QFETCH(QByteArray, outside);
    QFETCH(QString, expected);

    if (!inside.isEmpty())
        writeFile(configDir("/config/clouddata.ini"), inside);
    if (!outside.isEmpty())
        writeFile(configDir("/../config/clouddata.ini"), outside);
    QCOMPARE(HttpUploadFile::instance()->getAssistUrl(), expected);
}

void TestSibling::sessionAndHandlers()
{
    HttpUploadFile* client = HttpUploadFile::instance();
    QCOMPARE(HttpUploadFile::instance(), client);
    client->setJsessionid("ABCDEF0123");
    QCOMPARE(client->getJsessionid(), QByteArray("ABCDEF0123"));
    client->setJsessionid(QByteArray());
    QCOMPARE(client->getJsessionid(), QByteArray());

    const auto first = client->newClientAsyncHandler();
    const auto second = client->newClientAsyncHandler();
    QVERIFY(first && second);
    QVERIFY(first != second);
    QVERIFY(first->jsessionid.isEmpty() && first->assistUrl.isEmpty() && first->proxyURL.isEmpty());
}

void TestSibling::uploadsEveryFileOverOneConnection()
{
    TestServer server;
    serveUploads(server);
    QTemporaryDir dir;
    const QVector<QPair<QString, QByteArray>> files{
        {"1.dcm", patterned(1000, 1)},
        {"影像 2.dcm", patterned(3 * 1024 * 1024 + 7, 2)},  // streamed, not one buffer
        {"empty.dcm", QByteArray()},
        {"4.dcm", QByteArray("last")},
    };
    QStringList paths;
    for (const auto& [name, content] : files) {
        paths << dir.filePath(name);
        writeFile(paths.last(), content);
    }

    auto handler = handlerFor(server.url("/upload"));
    TaskRecorder recorder;
    QPointer<UpLoadTask> task = handler->newUpLoadTask(paths);
    QVERIFY(task);
    handler->jsessionid = "changed later";  // the task keeps what it was created with
    recorder.watch(task);

    // Nothing may happen until the event loop runs.
    QThread::msleep(300);
    QVERIFY(recorder.events().isEmpty());
    QVERIFY(server.requests().empty());

    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished(), 30000);
    QTRY_VERIFY(task.isNull());

    const std::vector<RecordedRequest> requests = server.requests("/upload");
    QCOMPARE(int(requests.size()), files.size());
    std::set<int> ports;
    for (int i = 0; i < files.size(); ++i) {
        const RecordedRequest& request = requests[size_t(i)];
        QCOMPARE(request.method, std::string("POST"));
        QCOMPARE(request.header("Cookie"), std::string("JSESSIONID=abc123"));
        QCOMPARE(request.headerCount("Expect"), size_t(0));
        QCOMPARE(int(request.parts.size()), 1);
        QCOMPARE(request.parts[0].name, std::string("file"));
        QCOMPARE(QString::fromStdString(request.parts[0].filename), files[i].first);
        QVERIFY(request.parts[0].content == files[i].second.toStdString());
        ports.insert(request.remote_port);
    }
    QCOMPARE(int(ports.size()), 1);

    const QVector<TaskEvent> events = recorder.events();
    QCOMPARE(events.size(), files.size() + 2);
    for (int i = 0; i < files.size(); ++i) {
        QCOMPARE(events[i].name, QStringLiteral("progress"));
        QCOMPARE(events[i].handled, i + 1);
        QCOMPARE(events[i].succeeded, i + 1);
        QCOMPARE(events[i].total, files.size());
        QVERIFY(events[i].task != nullptr);
    }
    const TaskEvent& end = events[files.size()];
    QCOMPARE(end.name, QStringLiteral("finshUpLoad"));
    QCOMPARE(end.succeeded, files.size());
    QCOMPARE(end.total, files.size());
    QVERIFY(end.failed.isEmpty());
    QCOMPARE(end.body, QByteArray::fromStdString(fileReply("4.dcm")));
    QCOMPARE(events.last().name, QStringLiteral("finshTask"));
    QCOMPARE(events.last().task, events.first().task);
    for (const TaskEvent& event : events)
        QVERIFY2(event.offGuiThread, qPrintable(event.name));
}

void TestSibling::failedFilesAreCounted_data()
{
    QTest::addColumn<bool>("serverGone");
    QTest::addColumn<QStringList>("names");      // "missing*" is never created, "dir*" is a folder
    QTest::addColumn<QVector<int>>("succeeded");  // after each file
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<QString>("lastGood");        // the file whose reply ends the task

    QTest::newRow("missing in the middle") << false << QStringList{"a", "missing", "b"} << QVector<int>{1, 1, 2}
                                           << QStringList{"missing"} << "b";
    QTest::newRow("server 500") << false << QStringList{"a", "bad", "c"} << QVector<int>{1, 1, 2}
                                << QStringList{"bad"} << "c";
    QTest::newRow("last one fails") << false << QStringList{"a", "bad"} << QVector<int>{1, 1}
                                    << QStringList{"bad"} << "a";
    QTest::newRow("folder entry") << false << QStringList{"dir", "a"} << QVector<int>{0, 1}
                                  << QStringList{"dir"} << "a";
    QTest::newRow("all fail") << false << QStringList{"bad1", "missing"} << QVector<int>{0, 0}
                              << QStringList{"bad1", "missing"} << QString();
    QTest::newRow("nobody listening") << true << QStringList{"a", "b"} << QVector<int>{0, 0}
                                      << QStringList{"a", "b"} << QString();
    QTest::newRow("no files") << false << QStringList{} << QVector<int>{} << QStringList{} << QString();
}

void TestSibling::failedFilesAreCounted()
{
    QFETCH(bool, serverGone);
    QFETCH(QStringList, names);
    QFETCH(QVector<int>, succeeded);
    QFETCH(QStringList, failed);
    QFETCH(QString, lastGood);

    auto server = std::make_unique<TestServer>();
    serveUploads(*server);
    const QString url = server->url("/upload");
    if (serverGone)
        server.reset();
    QTemporaryDir dir;
    QStringList paths;
    size_t readable = 0;  // files that reach the server
    for (const QString& name : names) {
        paths << dir.filePath(name);
        if (name.startsWith("dir")) {
            QVERIFY(QDir().mkpath(paths.last()));
        } else if (!name.startsWith("missing")) {
            writeFile(paths.last(), name.toUtf8());
            ++readable;
        }
    }
    QStringList failedPaths;
    for (const QString& name : failed)
        failedPaths << dir.filePath(name);

    TaskRecorder recorder;
    QPointer<UpLoadTask> task = handlerFor(url)->newUpLoadTask(paths);
    recorder.watch(task);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished(), 20000);

    const QVector<TaskEvent> events = recorder.events();
    QCOMPARE(events.size(), names.size() + 2);
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(events[i].handled, i + 1);
        QCOMPARE(events[i].succeeded, succeeded[i]);
    }
    const TaskEvent& end = events[names.size()];
    QCOMPARE(end.name, QStringLiteral("finshUpLoad"));
    QCOMPARE(end.succeeded, succeeded.value(names.size() - 1));
    QCOMPARE(end.total, names.size());
    QCOMPARE(end.failed, failedPaths);
    const std::string body = lastGood.isEmpty() ? std::string() : fileReply(lastGood.toStdString());
    QCOMPARE(end.body, QByteArray::fromStdString(body));
    if (server)
        QCOMPARE(server->requests().size(), readable);
    QTRY_VERIFY(task.isNull());
}

void TestSibling::uploadGoesThroughProxy_data()
{
    QTest::addColumn<bool>("useProxy");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("type");

    QTest::newRow("http proxy with user") << true << "alice" << QByteArray("http");
    QTest::newRow("no user, no credentials") << true << "" << QByteArray("http");
    QTest::newRow("unknown type word") << true << "bob" << QByteArray("proxy");
    QTest::newRow("no proxy, not even the environment's") << false << "" << QByteArray("http");
}

void TestSibling::uploadGoesThroughProxy()
{
    QFETCH(bool, useProxy);
    QFETCH(QString, user);
    QFETCH(QByteArray, type);

    TestServer target;
    serveUploads(target);
    TestServer proxy;
    const std::string proxiedPath = target.url("/upload").toStdString();
    proxy.setHandler("POST", proxiedPath, [](const httplib::Request&, httplib::Response& response) {
        response.set_content("via proxy", "text/plain");
    });
    const QByteArray savedEnv = qgetenv("http_proxy");
    qputenv("http_proxy", proxy.url().toUtf8());

    QTemporaryDir dir;
    writeFile(dir.filePath("a.dcm"), "image");
    auto handler = handlerFor(target.url("/upload"));
    if (useProxy)
        handler->proxyURL = proxy.url().toUtf8();
    handler->proxyUser = user;
    handler->proxyPassword = "pw:1";
    handler->proxyUserPassword = (user + ":pw:1").toUtf8();
    handler->proxyType = type;

    TaskRecorder recorder;
    QPointer<UpLoadTask> task = handler->newUpLoadTask({dir.filePath("a.dcm")});
    recorder.watch(task);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished(), 20000);
    qputenv("http_proxy", savedEnv);

    const TaskEvent end = recorder.events().value(1);
    QCOMPARE(end.succeeded, 1);
    QCOMPARE(end.body, useProxy ? QByteArray("via proxy") : QByteArray::fromStdString(fileReply("a.dcm")));
    QCOMPARE(int(proxy.requests().size()), useProxy ? 1 : 0);
    QCOMPARE(int(target.requests().size()), useProxy ? 0 : 1);
    if (useProxy) {
        const RecordedRequest request = proxy.requests().front();
        QCOMPARE(request.header("Cookie"), std::string("JSESSIONID=abc123"));
        const std::string credentials =
            user.isEmpty() ? std::string() : "Basic " + (user + ":pw:1").toUtf8().toBase64().toStdString();
        QCOMPARE(request.header("Proxy-Authorization"), credentials);
    }
    QTRY_VERIFY(task.isNull());
}

void TestSibling::deletingStalledTaskAborts()
{
    std::atomic<bool> release{false};  // outlives the server's handler threads
    std::atomic<bool> arrived{false};
    TestServer server;
    server.setHandler("POST", "/upload", [&](const httplib::Request&, httplib::Response& response) {
        arrived = true;
        for (int i = 0; i < 3000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        response.set_content("late", "text/plain");
    });
    QTemporaryDir dir;
    writeFile(dir.filePath("a"), "x");
    writeFile(dir.filePath("b"), "y");

    TaskRecorder recorder;
    UpLoadTask* task = handlerFor(server.url("/upload"))->newUpLoadTask({dir.filePath("a"), dir.filePath("b")});
    recorder.watch(task);
    QTRY_VERIFY(arrived);
    QElapsedTimer clock;
    clock.start();
    delete task;
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    release = true;
    QTest::qWait(50);
    QVERIFY(recorder.events().isEmpty());
}

void TestSibling::taskIdAndName()
{
    auto handler = HttpUploadFile::instance()->newClientAsyncHandler();
    std::unique_ptr<UpLoadTask> first(handler->newUpLoadTask({}));
    std::unique_ptr<UpLoadTask> second(handler->newUpLoadTask({}));
    // Unnumbered tasks keep apart from the 0, 1, 2 ... that owners hand out.
    QVERIFY(first->getTaskId() < 0);
    QVERIFY(second->getTaskId() < 0);
    QVERIFY(first->getTaskId() != second->getTaskId());

    first->setTaskId(0);
    first->setTaskName(QStringLiteral("张三"));
    QCOMPARE(first->getTaskId(), 0);
    QCOMPARE(first->getTaskName(), QStringLiteral("张三"));
    QCOMPARE(second->getTaskName(), QString());
}

void TestSibling::modelRowsAndHeads()
{
    const QStringList heads{"病人id", "病人姓名", " 图像数", " 成功图片数", " 失败图片数"};
    UploadFilesModel model(heads);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.addRow({"0", "张三", "12", "0", "0"});
    model.addRow({"1", "folder", "3"});  // shorter than the header
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.getAllData(), (QVector<QStringList>{{"0", "张三", "12", "0", "0"}, {"1", "folder", "3"}}));

    for (int c = 0; c < heads.size(); ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), heads[c]);
    QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("张三"));
    QCOMPARE(model.data(model.index(1, 4)), QVariant(QString()));
    QVERIFY(!model.data(model.index(2, 0)).isValid());
    QVERIFY(!model.data(model.index(0, 5)).isValid());
    QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
    QCOMPARE(model.flags(model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestSibling::modelSetHeads()
{
    UploadFilesModel model({"a", "b"});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addRow({"1", "x", "y"});
    qRegisterMetaType<Qt::Orientation>();
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.setHeads({"A", "B"});
    QCOMPARE(headers.count(), 1);
    QCOMPARE(headers.at(0).at(0).value<Qt::Orientation>(), Qt::Horizontal);
    QCOMPARE(headers.at(0).at(1).toInt(), 0);
    QCOMPARE(headers.at(0).at(2).toInt(), 1);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("B"));

    model.setHeads({"A", "B", "C"});
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("y"));
    model.setHeads({});
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.rowCount(), 1);
}

void TestSibling::modelUpdateRow_data()
{
    QTest::addColumn<QStringList>("update");
    QTest::addColumn<int>("changedRow");  // -1: nothing changes
    QTest::addColumn<QVector<QStringList>>("expected");

    const QStringList r0{"0", "张三", "10", "0", "0"};
    const QStringList r1{"1", "李四", "4", "0", "0"};
    const QStringList r2{"0", "duplicate key", "1"};
    QTest::newRow("second row") << QStringList{"1", "李四", "4", "3", "1"} << 1
                                << QVector<QStringList>{r0, {"1", "李四", "4", "3", "1"}, r2};
    QTest::newRow("first of two equal keys") << QStringList{"0", "张三", "10", "7", "3"} << 0
                                             << QVector<QStringList>{{"0", "张三", "10", "7", "3"}, r1, r2};
    QTest::newRow("unknown key") << QStringList{"9", "x"} << -1 << QVector<QStringList>{r0, r1, r2};
    QTest::newRow("key is a later cell") << QStringList{"张三"} << -1 << QVector<QStringList>{r0, r1, r2};
    QTest::newRow("empty row") << QStringList{} << -1 << QVector<QStringList>{r0, r1, r2};
}

void TestSibling::modelUpdateRow()
{
    QFETCH(QStringList, update);
    QFETCH(int, changedRow);
    QFETCH(QVector<QStringList>, expected);

    UploadFilesModel model({"1", "2", "3", "4", "5"});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addRow({"0", "张三", "10", "0", "0"});
    model.addRow({"1", "李四", "4", "0", "0"});
    model.addRow({"0", "duplicate key", "1"});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.updateRow(update);
    QCOMPARE(model.getAllData(), expected);
    QCOMPARE(changed.count(), changedRow < 0 ? 0 : 1);
    if (changedRow >= 0) {
        const auto topLeft = changed.at(0).at(0).value<QModelIndex>();
        const auto bottomRight = changed.at(0).at(1).value<QModelIndex>();
        QCOMPARE(topLeft, model.index(changedRow, 0));
        QCOMPARE(bottomRight, model.index(changedRow, 4));
        QCOMPARE(model.data(bottomRight).toString(), update.value(4));
    }
}

QTEST_MAIN(TestSibling)
#include "tst_sibling.moc"
