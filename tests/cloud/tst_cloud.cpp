#include "cloudrequest.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <unistd.h>

Q_DECLARE_METATYPE(std::string)

namespace {

// Sends what the process writes to @p fd into a temporary file while alive.
class FdCapture
{
public:
    explicit FdCapture(int fd) : fd(fd)
    {
        if (!file.open())
            qFatal("no temporary file for capturing fd %d", fd);
        std::fflush(nullptr);
        saved = ::dup(fd);
        ::dup2(file.handle(), fd);
    }
    ~FdCapture() { restore(); }

    QByteArray text()
    {
        restore();
        file.seek(0);
        return file.readAll();
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(nullptr);
        ::dup2(saved, fd);
        ::close(saved);
        saved = -1;
    }

    int fd;
    int saved = -1;
    QTemporaryFile file;
};

CloudRequest getRequest(const QString& url, const std::string& sessionId = "S1")
{
    CloudRequest request;
    request.url = url.toStdString();
    request.sessionId = sessionId;
    return request;
}

// A URL on which nothing listens: the port of a server that has just stopped.
QString refusedUrl()
{
    TestServer closed;
    return closed.url(QStringLiteral("/nobody"));
}

ScriptedReply okReply(const std::string& body)
{
    ScriptedReply reply;
    reply.body = body;
    return reply;
}

// Runs @p request and hands back what it printed on stderr.
CloudReply performCapturing(const CloudRequest& request, QByteArray& printed)
{
    FdCapture err(STDERR_FILENO);
    CloudReply reply = performCloudRequest(request);
    printed = err.text();
    return reply;
}

const char kFailurePrefix[] = "curl_easy_perform() failed: ";

} // namespace

class TestCloud : public QObject
{
    Q_OBJECT

private slots:
    void sendsTargetVerbatim_data();
    void sendsTargetVerbatim();
    void sendsSessionCookie_data();
    void sendsSessionCookie();
    void postSendsJsonBody();
    void outcome_data();
    void outcome();
    void connectionRefused_data();
    void connectionRefused();
    void followsRedirect();
    void timeoutBoundsStalledServer_data();
    void timeoutBoundsStalledServer();
    void appliesProxy_data();
    void appliesProxy();
};

void TestCloud::sendsTargetVerbatim_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("lookup with its ?") << "/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.840.113619.2.55.3";
    QTest::newRow("key glued to the path") << "/kelva/individual/findCheckNum4Uniquestudyinstanceuid=1.2.3";
    QTest::newRow("empty value") << "/kelva/individual/getStudyInfo.do?checkserialnum=";
    QTest::newRow("dictionary") << "/kelva/patientmanagerform/getCheckitem.do";
    QTest::newRow("reserved characters kept") << "/a/b.do?checkserialnum=X%2F1&y=a+b";
}

void TestCloud::sendsTargetVerbatim()
{
    QFETCH(QString, path);
    TestServer server;

    const CloudReply reply = performCloudRequest(getRequest(server.url(path)));

    QVERIFY(reply.completed);
    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].method, std::string("GET"));
    QCOMPARE(QString::fromStdString(requests[0].target), path);
    QCOMPARE(requests[0].headerCount("Content-Type"), size_t(0));
}

void TestCloud::sendsSessionCookie_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<std::string>("sessionId");
    QTest::addColumn<QString>("cookie");

    QTest::newRow("get") << false << std::string("7F3A9C0D1E") << "JSESSIONID=7F3A9C0D1E";
    QTest::newRow("get, empty session") << false << std::string() << "JSESSIONID=";
    QTest::newRow("post") << true << std::string("abc.node1") << "JSESSIONID=abc.node1";
    QTest::newRow("post, empty session") << true << std::string() << "JSESSIONID=";
}

void TestCloud::sendsSessionCookie()
{
    QFETCH(bool, post);
    QFETCH(std::string, sessionId);
    QFETCH(QString, cookie);
    TestServer server;

    CloudRequest request = getRequest(server.url(QStringLiteral("/s")), sessionId);
    if (post)
        request.postBody = "{}";
    QVERIFY(performCloudRequest(request).completed);

    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].headerCount("Cookie"), size_t(1));
    QCOMPARE(QString::fromStdString(requests[0].header("Cookie")), cookie);
}

void TestCloud::postSendsJsonBody()
{
    TestServer server;
    server.setReply("POST", "/kelva/individual/modifyStudyInfo.do", okReply("{\"result\":\"ok\"}"));
    const QByteArray body = QStringLiteral("{\n    \"patientname\": \"李 Zoë\",\n    \"sex\": \"F\"\n}\n").toUtf8();

    CloudRequest request = getRequest(server.url(QStringLiteral("/kelva/individual/modifyStudyInfo.do")));
    request.postBody = body.constData();
    CloudReply reply;
    QByteArray printed;
    {
        FdCapture out(STDOUT_FILENO);
        FdCapture err(STDERR_FILENO);
        reply = performCloudRequest(request);
        printed = out.text() + err.text();
    }

    QVERIFY(reply.completed);
    QVERIFY(reply.body.empty());
    QVERIFY2(printed.isEmpty(), printed.constData());  // the reply must not reach the host's streams
    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].method, std::string("POST"));
    QCOMPARE(requests[0].headerCount("Content-Type"), size_t(1));
    QCOMPARE(requests[0].header("Content-Type"), std::string("application/json"));
    QCOMPARE(QByteArray::fromStdString(requests[0].body), body);
}

void TestCloud::outcome_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<bool>("breakHalfway");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<std::string>("expectedBody");
    QTest::addColumn<QByteArray>("expectedStderr");

    const std::string record = "{\"patientname\":\"A\",\"rischeckserialnum\":\"0001\"}";
    const std::string withNuls("a\0b\0\0c", 6);
    QTest::newRow("get 200") << false << 200 << record << false << true << record << QByteArray();
    QTest::newRow("get 404 body") << false << 404 << std::string("not here") << false << true
                                  << std::string("not here") << QByteArray();
    QTest::newRow("get NUL bytes") << false << 200 << withNuls << false << true << withNuls << QByteArray();
    QTest::newRow("get empty") << false << 200 << std::string() << false << true << std::string() << QByteArray();
    QTest::newRow("get broken half-way") << false << 200 << std::string("0123456789") << true << false
                                         << std::string("01234")
                                         << QByteArray(kFailurePrefix) + "Transferred a partial file\n";
    QTest::newRow("post 200") << true << 200 << record << false << true << std::string() << QByteArray();
    QTest::newRow("post 500") << true << 500 << std::string("error") << false << true << std::string()
                              << QByteArray();
    QTest::newRow("post broken half-way") << true << 200 << std::string("0123456789") << true << false
                                          << std::string() << QByteArray();
}

void TestCloud::outcome()
{
    QFETCH(bool, post);
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(bool, breakHalfway);
    QFETCH(bool, completed);
    QFETCH(std::string, expectedBody);
    QFETCH(QByteArray, expectedStderr);

    TestServer server;
    ScriptedReply scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.breakHalfway = breakHalfway;
    server.setReply(post ? "POST" : "GET", "/r", scripted);

    CloudRequest request = getRequest(server.url(QStringLiteral("/r")));
    if (post)
        request.postBody = "{\"a\":1}";
    QByteArray printed;
    const CloudReply reply = performCapturing(request, printed);

    QCOMPARE(reply.completed, completed);
    QCOMPARE(reply.body.size(), expectedBody.size());
    QVERIFY(reply.body == expectedBody);
    QCOMPARE(printed, expectedStderr);
}

void TestCloud::connectionRefused_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QByteArray>("expectedStderr");

    QTest::newRow("get") << false << QByteArray(kFailurePrefix) + "Couldn't connect to server\n";
    QTest::newRow("post") << true << QByteArray();
}

void TestCloud::connectionRefused()
{
    QFETCH(bool, post);
    QFETCH(QByteArray, expectedStderr);

    CloudRequest request = getRequest(refusedUrl());
    if (post)
        request.postBody = "{}";
    QByteArray printed;
    const CloudReply reply = performCapturing(request, printed);

    QVERIFY(!reply.completed);
    QVERIFY(reply.body.empty());
    QCOMPARE(printed, expectedStderr);
}

void TestCloud::followsRedirect()
{
    TestServer server;
    ScriptedReply moved;
    moved.status = 302;
    moved.location = server.url(QStringLiteral("/moved/here")).toStdString();
    server.setReply("GET", "/old", moved);
    server.setReply("GET", "/moved/here", okReply("[{\"id\":\"1\"}]"));

    const CloudReply reply = performCloudRequest(getRequest(server.url(QStringLiteral("/old")), "K"));

    QVERIFY(reply.completed);
    QCOMPARE(reply.body, std::string("[{\"id\":\"1\"}]"));
    const auto followed = server.requests("/moved/here");
    QCOMPARE(followed.size(), size_t(1));
    QCOMPARE(followed[0].header("Cookie"), std::string("JSESSIONID=K"));
}

void TestCloud::timeoutBoundsStalledServer_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<qint64>("limitMs");
    QTest::addColumn<QByteArray>("expectedStderr");

    // libcurl averages the speed over about five seconds, so a POST whose body
    // went out at once is only seen as stalled once the body leaves that window
    // (about seven seconds for a one-second bound).
    QTest::newRow("get") << false << qint64(2500) << QByteArray(kFailurePrefix) + "Timeout was reached\n";
    QTest::newRow("post") << true << qint64(9500) << QByteArray();
}

void TestCloud::timeoutBoundsStalledServer()
{
    QFETCH(bool, post);
    QFETCH(qint64, limitMs);
    QFETCH(QByteArray, expectedStderr);

    // The handler stalls until released, so the server can stop soon after.
    std::atomic<bool> released{false};
    TestServer server;
    server.setHandler(post ? "POST" : "GET", "/stall", [&released](const httplib::Request&, httplib::Response& rs) {
        for (int i = 0; i < 400 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rs.set_content("late", "text/plain");
    });

    CloudRequest request = getRequest(server.url(QStringLiteral("/stall")));
    request.timeoutSeconds = 1;
    // About the size of a study record.
    const std::string record = "{\n    \"patientname\": \"" + std::string(500, 'x') + "\"\n}\n";
    if (post)
        request.postBody = record.c_str();
    QElapsedTimer clock;
    clock.start();
    QByteArray printed;
    const CloudReply reply = performCapturing(request, printed);
    const qint64 elapsed = clock.elapsed();
    released = true;

    QVERIFY(!reply.completed);
    QVERIFY(reply.body.empty());
    QVERIFY2(elapsed >= 900 && elapsed < limitMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(printed, expectedStderr);
}

void TestCloud::appliesProxy_data()
{
    QTest::addColumn<bool>("useProxy");
    QTest::addColumn<std::string>("userPwd");
    QTest::addColumn<std::string>("kind");
    QTest::addColumn<bool>("viaHttpProxy");
    QTest::addColumn<std::string>("proxyAuthorization");

    // A SOCKS handshake never completes against an HTTP server: nothing is recorded.
    QTest::newRow("http with credentials") << true << std::string("user:pass") << std::string("http") << true
                                           << std::string("Basic dXNlcjpwYXNz");
    QTest::newRow("http_1_0") << true << std::string("u:p") << std::string("http_1_0") << true
                              << std::string("Basic dTpw");
    QTest::newRow("no credentials") << true << std::string() << std::string("http") << true << std::string();
    QTest::newRow("unknown kind keeps default") << true << std::string() << std::string("socks5") << true
                                                << std::string();
    QTest::newRow("kind is case-sensitive") << true << std::string() << std::string("Sock5") << true
                                            << std::string();
    QTest::newRow("sock4") << true << std::string() << std::string("sock4") << false << std::string();
    QTest::newRow("sock5") << true << std::string("user:pass") << std::string("sock5") << false
                           << std::string();
    QTest::newRow("empty proxy url ignores the rest") << false << std::string("user:pass")
                                                      << std::string("sock5") << false << std::string();
}

void TestCloud::appliesProxy()
{
    QFETCH(bool, useProxy);
    QFETCH(std::string, userPwd);
    QFETCH(std::string, kind);
    QFETCH(bool, viaHttpProxy);
    QFETCH(std::string, proxyAuthorization);

    TestServer proxy;
    TestServer origin;
    const std::string target = origin.url(QStringLiteral("/kelva/patientmanagerform/getPosition.do")).toStdString();
    proxy.setReply("GET", target, okReply("from proxy"));

    CloudRequest request;
    request.url = target;
    request.sessionId = "P";
    request.timeoutSeconds = 1;
    // Without a scheme, so that the type option decides the proxy protocol.
    request.proxy.url = useProxy ? "127.0.0.1:" + std::to_string(proxy.port()) : std::string();
    request.proxy.userPwd = userPwd;
    request.proxy.kind = kind;
    QByteArray printed;
    const CloudReply reply = performCapturing(request, printed);

    // A failed GET says so in one line, a completed one says nothing.
    QCOMPARE(printed.startsWith(kFailurePrefix) && printed.count('\n') == 1, !reply.completed);
    QCOMPARE(printed.isEmpty(), reply.completed);
    const auto seenByProxy = proxy.requests();
    if (viaHttpProxy) {
        QVERIFY(reply.completed);
        QCOMPARE(reply.body, std::string("from proxy"));
        QCOMPARE(seenByProxy.size(), size_t(1));
        QCOMPARE(seenByProxy[0].target, target);  // absolute form: the proxy is asked for the whole URL
        QCOMPARE(seenByProxy[0].header("Proxy-Authorization"), proxyAuthorization);
        QCOMPARE(seenByProxy[0].headerCount("Proxy-Authorization"), size_t(proxyAuthorization.empty() ? 0 : 1));
        QCOMPARE(seenByProxy[0].header("Cookie"), std::string("JSESSIONID=P"));
        QVERIFY(origin.requests().empty());
    } else if (useProxy) {
        QVERIFY(!reply.completed);
        QVERIFY(seenByProxy.empty());
        QVERIFY(origin.requests().empty());
    } else {
        QVERIFY(reply.completed);
        QVERIFY(seenByProxy.empty());
        QCOMPARE(origin.requests().size(), size_t(1));
        QCOMPARE(origin.requests()[0].target, std::string("/kelva/patientmanagerform/getPosition.do"));
    }
}

QTEST_GUILESS_MAIN(TestCloud)
#include "tst_cloud.moc"
