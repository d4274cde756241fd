#include "wanrelay.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr double tolerance = 0.10;
constexpr size_t bulkBytes = 2500 * 1000;

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

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(std::uint16_t(port));
    return address;
}

bool sendAll(int fd, const char* data, size_t size)
{
    for (ssize_t n = 0; size > 0; data += n, size -= size_t(n)) {
        if ((n = send(fd, data, size, MSG_NOSIGNAL)) <= 0)
            return false;
    }
    return true;
}

bool receiveAll(int fd, size_t size)
{
    std::vector<char> buffer(64 * 1024);
    for (ssize_t n = 0; size > 0; size -= size_t(n)) {
        if ((n = recv(fd, buffer.data(), std::min(size, buffer.size()), 0)) <= 0)
            return false;
    }
    return true;
}

// A TCP peer on 127.0.0.1 for raw measurements, one thread per connection: each byte it receives
// is a request that it answers with @p answerBytes bytes, after it has received @p requestBytes.
class Peer
{
public:
    Peer(size_t requestBytes, size_t answerBytes) : requestBytes(requestBytes), answer(answerBytes, 'a')
    {
        listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listenFd, 16) != 0
            || getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("peer: cannot listen");
        port = ntohs(address.sin_port);
        acceptor = std::thread([this] {
            for (int fd; (fd = accept(listenFd, nullptr, nullptr)) >= 0;)
                served.emplace_back([this, fd] { serve(fd); });
        });
    }

    ~Peer()
    {
        shutdown(listenFd, SHUT_RDWR);
        acceptor.join();
        for (std::thread& thread : served)
            thread.join();
        close(listenFd);
    }

    int port = 0;

private:
    void serve(int fd)
    {
        while (receiveAll(fd, requestBytes) && sendAll(fd, answer.data(), answer.size())) {
        }
        close(fd);
    }

    const size_t requestBytes;
    const std::string answer;
    int listenFd = -1;
    std::thread acceptor;
    std::vector<std::thread> served;
};

// A connection to 127.0.0.1:@p port that sends requests of @p requestBytes and waits for answers of @p answerBytes.
class Exchange
{
public:
    Exchange(int port, size_t requestBytes, size_t answerBytes)
        : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), request(requestBytes, 'r'), answerBytes(answerBytes)
    {
        const sockaddr_in address = loopback(port);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Exchange() { close(fd); }

    // Milliseconds of one request and its answer; below 0 when it failed.
    double once()
    {
        const Clock::time_point start = Clock::now();
        if (!connected || !sendAll(fd, request.data(), request.size()) || !receiveAll(fd, answerBytes))
            return -1;
        return Milliseconds(Clock::now() - start).count();
    }

private:
    const int fd;
    const std::string request;
    const size_t answerBytes;
    bool connected = false;
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
        Peer echo(1, 1);
        WanRelay relay(echo.port, linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        auto exchange = std::make_unique<Exchange>(relay.port(), 1, 1);
        QVERIFY(exchange->once() >= 0);
        std::vector<double> samples;
        for (int i = 0; i < 9; ++i) {
            if (fresh)
                exchange = std::make_unique<Exchange>(relay.port(), 1, 1);
            samples.push_back(exchange->once());
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
        Peer peer(up ? share : 1, up ? 1 : share);
        WanRelay relay(peer.port, linkOf(roundTripMs, mbit));
        QVERIFY(relay.isListening());
        std::vector<std::unique_ptr<Exchange>> exchanges;
        for (int i = 0; i < connections; ++i)
            exchanges.push_back(std::make_unique<Exchange>(relay.port(), up ? share : 1, up ? 1 : share));
        const WanRelay::Direction direction = up ? WanRelay::Upstream : WanRelay::Downstream;
        std::vector<double> rates;
        for (int round = 0; round < 4; ++round) {
            const std::int64_t before = relay.bytesRelayed(direction);
            std::vector<double> times(exchanges.size());
            std::vector<std::thread> movers;
            for (size_t i = 0; i < exchanges.size(); ++i)
                movers.emplace_back([&, i] { times[i] = exchanges[i]->once(); });
            for (std::thread& mover : movers)
                mover.join();
            QVERIFY(*std::min_element(times.begin(), times.end()) >= 0);
            QCOMPARE(relay.bytesRelayed(direction) - before, std::int64_t(share * exchanges.size()));
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
        Exchange exchange(relay.port(), 1, 1);
        QCOMPARE(exchange.once(), -1.0);
        QCOMPARE(relay.connections(), 0);
    }
};

QTEST_MAIN(TestWanRelay)
#include "tst_wanrelay.moc"
