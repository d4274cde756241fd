#include "cloudrequest.h"
#include "outputcapture.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// Runs @p request; what it wrote to stdout or stderr meanwhile goes to @p printed.
CloudReply perform(const CloudRequest& request, QByteArray* printed)
{
    OutputCapture output;
    CloudReply reply = performCloudRequest(request);
    *printed = output.release();
    return reply;
}

} // namespace

class TestCloud : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<QString>("target");  // sent verbatim; the server answers on its path
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<int>("status");  // 0: nobody listens; -1: the server stalls
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<bool>("broken");  // the server closes half-way
        QTest::addColumn<QByteArray>("cookie");  // the session as it arrives
        const auto row = [](const char* tag, bool post, const char* target, const QByteArray& session, int status,
                            const QByteArray& served, bool broken = false, const QByteArray& cut = {}) {
            QTest::newRow(tag) << post << target << session << status << served << broken
                               << "JSESSIONID=" + (cut.isNull() ? session : cut);
        };
        const QByteArray record = R"({"patientname":"A","rischeckserialnum":"0001"})";
        row("lookup", false, "/kelva/individual/findCheckNum4Unique?studyinstanceuid=1.2.840.1", "7F3A9C", 200, record);
        row("key glued, empty session", false, "/findCheckNum4Uniquestudyinstanceuid=1.2.3", "", 200, "{}");
        row("reserved characters, 404 body", false, "/info.do?checkserialnum=X%2F1&y=a+b", "S", 404, "gone");
        row("NUL bytes", false, "/d", "S", 200, QByteArray("a\0b\0\0c", 6));
        row("redirect followed", false, "/old", "K", 302, "[]");
        row("get broken half-way", false, "/d", "S", 200, "0123456789", true);
        row("get refused", false, "/d", "S", 0, "");
        row("get stalled", false, "/d", "S", -1, "");
        row("post", true, "/kelva/individual/modifyStudyInfo.do", "abc.node1", 200, record);
        row("post 500, empty session", true, "/m", "", 500, "error");
        row("post broken half-way", true, "/m", "S", 200, "0123456789", true);
        row("post refused", true, "/m", "S", 0, "");
        // libcurl averages speed over about five seconds: a POST whose body left at once is seen stalled later.
        row("post stalled", true, "/m", "S", -1, "");
        // A session id never adds a header line: it ends at its first CR, LF or NUL.
        row("session cut at CR LF", false, "/d", "S1\r\nX-Injected: 1", 200, "{}", false, "S1");
        row("session cut at LF", true, "/d", "S2\nX-Injected: 1", 200, "{}", false, "S2");
        row("session cut at CR", false, "/d", "S3\rX-Injected: 1", 200, "{}", false, "S3");
        row("session cut at NUL", true, "/d", QByteArray("S4\0\r\nX-Injected: 1", 19), 200, "{}", false, "S4");
    }

    void exchange()
    {
        QFETCH(bool, post);
        QFETCH(QString, target);
        QFETCH(QByteArray, session);
        QFETCH(int, status);
        QFETCH(QByteArray, served);
        QFETCH(bool, broken);
        QFETCH(QByteArray, cookie);
        const std::string method = post ? "POST" : "GET", path = target.section('?', 0, 0).toStdString();
        std::atomic<bool> released{false};  // declared first: it outlives the server's handlers
        auto server = std::make_unique<TestServer>();
        if (status == 302)
            server->setReply(method, "/moved", {200, served.toStdString(), "text/plain", "", false});
        const std::string moved = status == 302 ? server->url(QStringLiteral("/moved")).toStdString() : "";
        const std::string body = moved.empty() ? served.toStdString() : "";
        server->setReply(method, path, {status, body, "text/plain", moved, broken});
        if (status == -1) {
            server->setHandler(method, path, [&released](const httplib::Request&, httplib::Response&) {
                for (int i = 0; i < 400 && !released; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            });
        }
        const QByteArray json = QStringLiteral("{\n    \"patientname\": \"李 Zoë\"\n}\n").toUtf8();
        const CloudRequest r{server->url(target).toStdString(), session.toStdString(),
                             post ? json.constData() : nullptr, {}, status == -1 ? 1 : 0};
        if (status == 0)
            server.reset();
        QByteArray printed;
        QElapsedTimer clock;
        clock.start();
        const CloudReply reply = perform(r, &printed);
        released = true;

        // A GET hands back whatever arrived; a POST only whether it completed, and with which status.
        const bool completed = status > 0 && !broken;
        QCOMPARE(reply.completed, completed);
        QCOMPARE(reply.status, long(status <= 0 ? 0 : status == 302 ? 200 : status));
        QCOMPARE(isSuccessful(reply), completed && (status == 200 || status == 302));
        const QByteArray arrived = status <= 0 ? QByteArray() : broken ? served.left(served.size() / 2) : served;
        QCOMPARE(QByteArray::fromStdString(reply.body), post ? QByteArray() : arrived);
        // A failed GET names libcurl's reason in one line on stderr; nothing else is printed, not even a POST's reply.
        if (!post && !completed)
            QVERIFY2(printed.startsWith("curl_easy_perform() failed: ") && printed.count('\n') == 1, printed);
        else
            QCOMPARE(printed, QByteArray());
        if (status == -1)
            QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 9500, qPrintable(QString::number(clock.elapsed())));
        if (!server)
            return;
        const auto requests = server->requests();
        QCOMPARE(requests.size(), size_t(status == 302 ? 2 : 1));
        QCOMPARE(QString::fromStdString(requests[0].target), target);
        QCOMPARE(QByteArray::fromStdString(requests[0].body), post ? json : QByteArray());
        for (const RecordedRequest& request : requests) {
            QCOMPARE(request.method, method);
            QCOMPARE(request.headerCount("Cookie"), size_t(1));
            QCOMPARE(QByteArray::fromStdString(request.header("Cookie")), cookie);
            QCOMPARE(request.headerCount("X-Injected"), size_t(0));
            QCOMPARE(request.header("Content-Type"), std::string(post ? "application/json" : ""));
        }
    }

    void proxy_data()
    {
        QTest::addColumn<QByteArray>("kind");  // "-": no proxy URL
        QTest::addColumn<QByteArray>("userPwd");
        QTest::addColumn<QString>("route");  // "proxy", "direct" or "none" (a SOCKS handshake fails on HTTP)
        QTest::newRow("http with credentials") << QByteArray("http") << QByteArray("user:pass") << "proxy";
        QTest::newRow("http_1_0") << QByteArray("http_1_0") << QByteArray("u:p") << "proxy";
        QTest::newRow("unknown kind keeps default") << QByteArray("Sock5") << QByteArray() << "proxy";
        QTest::newRow("sock5") << QByteArray("sock5") << QByteArray("u:p") << "none";
        QTest::newRow("no proxy url: the rest ignored") << QByteArray("-") << QByteArray("u:p") << "direct";
    }

    void proxy()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, userPwd);
        QFETCH(QString, route);
        TestServer proxy, origin;
        const QString target = origin.url(QStringLiteral("/kelva/patientmanagerform/getPosition.do"));
        proxy.setReply("GET", target.toStdString(), {200, "from proxy", "text/plain", "", false});
        // The proxy without a scheme, so that the type decides the protocol.
        const CloudProxy via{kind == "-" ? "" : "127.0.0.1:" + std::to_string(proxy.port()), userPwd.toStdString(),
                             kind.toStdString()};
        QByteArray printed;
        const CloudReply reply = perform({target.toStdString(), "S", nullptr, via, 1}, &printed);

        QCOMPARE(reply.completed, route != "none");
        QCOMPARE(proxy.requests().size(), size_t(route == "proxy"));
        QCOMPARE(origin.requests().size(), size_t(route == "direct"));
        if (route == "proxy") {
            QCOMPARE(reply.body, std::string("from proxy"));
            QCOMPARE(QString::fromStdString(proxy.requests()[0].target), target);  // the whole URL: a proxy request
            const QByteArray credentials = userPwd.isEmpty() ? QByteArray() : "Basic " + userPwd.toBase64();
            QCOMPARE(QByteArray::fromStdString(proxy.requests()[0].header("Proxy-Authorization")), credentials);
        }
    }
};

QTEST_GUILESS_MAIN(TestCloud)
#include "tst_cloud.moc"
