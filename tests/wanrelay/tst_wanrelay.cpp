#include "testserver.h"
#include "wanrelay.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr double tolerance = 0.10;
constexpr int bulkBytes = 2500 * 1000;

WanLink linkOf(double roundTripMs, double mbit)
{
    WanLink link;
    link.oneWayDelay = std::chrono::microseconds(static_cast<long long>(roundTripMs * 500));
    link.bitsPerSecond = mbit * 1e6;
    return link;
}

// Milliseconds that @p work takes.
template <typename Work>
double millisecondsOf(Work work)
{
    const Clock::time_point start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

#define VERIFY_NEAR(measured, expected)                                                                           \
    QVERIFY2(std::abs((measured) - (expected)) <= (expected) * tolerance,                                         \
             qPrintable(QStringLiteral("measured %1, configured %2").arg(measured).arg(expected)))

} // namespace

class TestWanRelay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const auto body = [](std::string text) {
            ScriptedReply reply;
            reply.body = std::move(text);
            return reply;
        };
        server.setReply("GET", "/small", body("ok"));
        server.setReply("GET", "/bulk", body(std::string(bulkBytes, 'b')));
        server.setReply("POST", "/bulk", body("ok"));
    }

    // The round trip of a small request on a connection that has done one already, and of the first one.
    void roundTrip_data()
    {
        QTest::addColumn<double>("roundTripMs");
        QTest::addColumn<double>("mbit");
        QTest::addColumn<bool>("fresh");  // a new connection each time: its handshake is one round trip more
        QTest::newRow("20 ms") << 20.0 << 0.0 << false;
        QTest::newRow("50 ms behind a 200 Mbit/s cap") << 50.0 << 200.0 << false;
        QTest::newRow("20 ms, new connections") << 20.0 << 0.0 << true;
    }

    void roundTrip()
    {
        QFETCH(double, roundTripMs);
        QFETCH(double, mbit);
        QFETCH(bool, fresh);
        WanRelay relay(server.port(), linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        auto client = std::make_unique<httplib::Client>("127.0.0.1", relay.port());
        client->set_keep_alive(true);
        QVERIFY(client->Get("/small"));
        std::vector<double> samples;
        for (int i = 0; i < 7; ++i) {
            if (fresh)
                client = std::make_unique<httplib::Client>("127.0.0.1", relay.port());
            bool answered = false;
            samples.push_back(millisecondsOf([&] {
                const httplib::Result result = client->Get("/small");
                answered = result && result->body == "ok";
            }));
            QVERIFY(answered);
        }
        VERIFY_NEAR(median(samples), roundTripMs * (fresh ? 2 : 1));
    }

    // Bytes on the wire over the time they took past one round trip; the median of three transfers after one
    // that lets the sockets' buffers grow.
    void bulkRate_data()
    {
        QTest::addColumn<double>("mbit");
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("connections");  // each sends its share of the bytes at the same time
        QTest::newRow("up, 100 Mbit/s") << 100.0 << "POST" << 1;
        QTest::newRow("down, 100 Mbit/s") << 100.0 << "GET" << 1;
        QTest::newRow("up, 200 Mbit/s shared by 4 connections") << 200.0 << "POST" << 4;
    }

    void bulkRate()
    {
        QFETCH(double, mbit);
        QFETCH(QString, method);
        QFETCH(int, connections);
        const double roundTripMs = 10;
        WanRelay relay(server.port(), linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        std::vector<std::unique_ptr<httplib::Client>> clients;
        for (int i = 0; i < connections; ++i) {
            clients.push_back(std::make_unique<httplib::Client>("127.0.0.1", relay.port()));
            clients.back()->set_keep_alive(true);
        }
        const WanRelay::Direction direction = method == "GET" ? WanRelay::Downstream : WanRelay::Upstream;
        const std::string share(bulkBytes / connections, 'u');
        std::vector<double> rates;
        for (int round = 0; round < 4; ++round) {
            const std::int64_t before = relay.bytesRelayed(direction);
            std::atomic<int> good{0};
            const double elapsed = millisecondsOf([&] {
                std::vector<std::thread> senders;
                for (const auto& client : clients) {
                    senders.emplace_back([&, c = client.get()] {
                        const httplib::Result result =
                            method == "GET" ? c->Get("/bulk") : c->Post("/bulk", share, "application/octet-stream");
                        good += result && result->status == 200;
                    });
                }
                for (std::thread& sender : senders)
                    sender.join();
            });
            QCOMPARE(good.load(), connections);
            const std::int64_t bytes = relay.bytesRelayed(direction) - before;
            QVERIFY(bytes >= bulkBytes);
            if (round > 0)
                rates.push_back(double(bytes) * 8 / ((elapsed - roundTripMs) / 1000) / 1e6);
        }
        VERIFY_NEAR(median(rates), mbit);
    }

    void refusedTargetClosesTheClient()
    {
        WanRelay relay(1, WanLink());  // nothing listens on port 1
        QVERIFY(relay.isListening());
        httplib::Client client("127.0.0.1", relay.port());
        client.set_read_timeout(5);
        QVERIFY(!client.Get("/small"));
        QCOMPARE(relay.connections(), 0);
    }

private:
    TestServer server;
};

QTEST_MAIN(TestWanRelay)
#include "tst_wanrelay.moc"
