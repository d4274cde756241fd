#include "testserver.h"
#include "wanrelay.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr double tolerance = 0.10;
constexpr size_t bulkBytes = 2500 * 1000;
// What HTTP adds to a request or an answer, at most.
constexpr std::int64_t headBytes = 512;

WanLink linkOf(double roundTripMs, double mbit)
{
    WanLink link;
    link.oneWayDelay = std::chrono::microseconds(static_cast<long long>(roundTripMs * 500));
    link.bitsPerSecond = mbit * 1e6;
    return link;
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? -1 : samples[samples.size() / 2];
}

// A peer that answers each request to "/?down=N" with N bytes.
void answerWithBytes(TestServer& peer)
{
    peer.setHandler("POST", "/", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(std::string(std::stoul(request.get_param_value("down")), 'a'), "text/plain");
    });
}

// A client of 127.0.0.1:@p port on one kept-alive connection, or on a new one for each request.
struct Exchange
{
    Exchange(int port, bool keepAlive = true) : client("127.0.0.1", port)
    {
        client.set_keep_alive(keepAlive);
        client.set_tcp_nodelay(true);
    }

    // Milliseconds of one request of @p up bytes and its answer of @p down; below 0 when it failed.
    double once(size_t up, size_t down)
    {
        const auto start = std::chrono::steady_clock::now();
        const auto result = client.Post(("/?down=" + std::to_string(down)).c_str(), std::string(up, 'r'), "text/plain");
        if (!result || result->body.size() != down)
            return -1;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }

    httplib::Client client;
};

#define VERIFY_NEAR(measured, expected)                                                                           \
    QVERIFY2(std::abs((measured) - (expected)) <= (expected) * tolerance,                                         \
             qPrintable(QStringLiteral("measured %1, configured %2").arg(measured).arg(expected)))

} // namespace

class TestWanRelay : public QObject
{
    Q_OBJECT

private slots:
    // One byte there and back, on a connection that has done it once already, or on a new one each time.
    void roundTrip_data()
    {
        QTest::addColumn<double>("roundTripMs");
        QTest::addColumn<double>("mbit");
        QTest::addColumn<bool>("fresh");  // a new connection's handshake is one round trip more
        QTest::newRow("20 ms") << 20.0 << 0.0 << false;
        QTest::newRow("50 ms behind a 200 Mbit/s cap") << 50.0 << 200.0 << false;
        QTest::newRow("20 ms, new connections") << 20.0 << 0.0 << true;
    }

    void roundTrip()
    {
        QFETCH(double, roundTripMs);
        QFETCH(double, mbit);
        QFETCH(bool, fresh);
        TestServer echo;
        answerWithBytes(echo);
        WanRelay relay(echo.port(), linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        Exchange exchange(relay.port(), !fresh);
        QVERIFY(exchange.once(1, 1) >= 0);
        std::vector<double> samples;
        for (int i = 0; i < 9; ++i) {
            samples.push_back(exchange.once(1, 1));
            QVERIFY(samples.back() >= 0);
        }
        VERIFY_NEAR(median(samples), roundTripMs * (fresh ? 2 : 1));
    }

    // Bytes over the time they took past one round trip: the median of three transfers after one that lets the
    // sockets' buffers grow.
    void bulkRate_data()
    {
        QTest::addColumn<double>("mbit");
        QTest::addColumn<bool>("up");  // the bulk toward the target, a byte back; or the other way
        QTest::addColumn<int>("connections");  // each moves its share at the same time
        QTest::newRow("up, 100 Mbit/s") << 100.0 << true << 1;
        QTest::newRow("down, 100 Mbit/s") << 100.0 << false << 1;
        QTest::newRow("up, 200 Mbit/s shared by 4 connections") << 200.0 << true << 4;
        QTest::newRow("down, 200 Mbit/s shared by 4 connections") << 200.0 << false << 4;
    }

    void bulkRate()
    {
        QFETCH(double, mbit);
        QFETCH(bool, up);
        QFETCH(int, connections);
        const double roundTripMs = 10;
        const size_t share = bulkBytes / size_t(connections);
        TestServer peer;
        answerWithBytes(peer);
        WanRelay relay(peer.port(), linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        std::vector<std::unique_ptr<Exchange>> exchanges;
        for (int i = 0; i < connections; ++i)
            exchanges.push_back(std::make_unique<Exchange>(relay.port()));
        const WanRelay::Direction direction = up ? WanRelay::Upstream : WanRelay::Downstream;
        std::vector<double> rates;
        for (int round = 0; round < 4; ++round) {
            const std::int64_t before = relay.bytesRelayed(direction);
            std::vector<double> times(exchanges.size());
            std::vector<std::thread> movers;
            for (size_t i = 0; i < exchanges.size(); ++i)
                movers.emplace_back([&, i] { times[i] = exchanges[i]->once(up ? share : 1, up ? 1 : share); });
            for (std::thread& mover : movers)
                mover.join();
            QVERIFY(*std::min_element(times.begin(), times.end()) >= 0);
            // Every byte of the bulk counted once, with the requests' or answers' heads.
            const std::int64_t relayed = relay.bytesRelayed(direction) - before, bulk = std::int64_t(share) * connections;
            QVERIFY2(relayed >= bulk && relayed <= bulk + headBytes * connections, qPrintable(QString::number(relayed)));
            const double elapsed = *std::max_element(times.begin(), times.end());
            if (round > 0)
                rates.push_back(double(bulkBytes) * 8 / ((elapsed - roundTripMs) / 1000) / 1e6);
        }
        VERIFY_NEAR(median(rates), mbit);
    }

    void refusedTargetClosesTheClient()
    {
        WanRelay relay(1, WanLink());  // nothing listens on port 1
        QVERIFY(relay.isListening());
        QCOMPARE(Exchange(relay.port()).once(1, 1), -1.0);
        QCOMPARE(relay.connections(), 0);
    }
};

QTEST_MAIN(TestWanRelay)
#include "tst_wanrelay.moc"
