#include "testserver.h"
#include "wanrelay.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

using Clock = std::chrono::steady_clock;

struct Socket
{
    explicit Socket(int fd) : fd(fd) {}
    ~Socket()
    {
        if (fd >= 0)
            close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    const int fd;
};

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void sendBytes(int fd, size_t count)
{
    const std::vector<char> block(64 * 1024, 'b');
    while (count > 0) {
        const ssize_t n = send(fd, block.data(), std::min(count, block.size()), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        count -= size_t(n);
    }
}

// What reached one end of a connection, and when its first and last bytes did.
struct Arrival
{
    size_t bytes = 0;
    size_t firstBytes = 0;
    Clock::time_point first, last;
};

Arrival receiveAll(int fd)
{
    Arrival arrival;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            return arrival;
        arrival.last = Clock::now();
        if (arrival.bytes == 0) {
            arrival.first = arrival.last;
            arrival.firstBytes = size_t(n);
        }
        arrival.bytes += size_t(n);
    }
}

void waitForClose(int fd)
{
    char byte;
    while (recv(fd, &byte, 1, 0) > 0) {
    }
}

// A plain TCP peer on loopback: it sends @p answerBytes on every connection and closes it, or, with none, takes
// in what the connection brings until its sender is done.
class StreamPeer
{
public:
    explicit StreamPeer(size_t answerBytes) : listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address = loopbackAddress(0);
        socklen_t length = sizeof address;
        if (bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || listen(listener.fd, 16) != 0
            || getsockname(listener.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        listenPort = ntohs(address.sin_port);
        acceptor = std::thread([this, answerBytes] {
            for (;;) {
                const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    return;
                std::lock_guard<std::mutex> lock(mutex);
                workers.emplace_back([this, fd, answerBytes] {
                    const Socket connection(fd);
                    if (answerBytes > 0) {
                        sendBytes(fd, answerBytes);
                        return;
                    }
                    const Arrival arrival = receiveAll(fd);
                    std::lock_guard<std::mutex> lock(mutex);
                    arrivals.push_back(arrival);
                });
            }
        });
    }

    ~StreamPeer()
    {
        shutdown(listener.fd, SHUT_RDWR);
        if (acceptor.joinable())
            acceptor.join();
        for (std::thread& worker : workers)
            worker.join();
    }

    int port() const { return listenPort; }

    // What every connection that ended since the last call brought in.
    std::vector<Arrival> takeArrivals()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(arrivals, {});
    }

private:
    const Socket listener;
    int listenPort = 0;
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::vector<std::thread> workers;
    std::thread acceptor;
};

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

    // Bytes over the time between the first and the last byte at the receiving end, so that neither the
    // round trip nor either end's own work counts: the median of three transfers after one that warms up.
    void bulkRate_data()
    {
        QTest::addColumn<double>("mbit");
        QTest::addColumn<bool>("up");  // toward the target, or back to the client
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
        const size_t share = bulkBytes / size_t(connections);
        StreamPeer peer(up ? 0 : share);
        QVERIFY(peer.port() > 0);
        WanRelay relay(peer.port(), linkOf(10, mbit));
        QVERIFY(relay.isListening());
        const WanRelay::Direction direction = up ? WanRelay::Upstream : WanRelay::Downstream;
        std::vector<double> rates;
        for (int round = 0; round < 4; ++round) {
            const std::int64_t before = relay.bytesRelayed(direction);
            auto arrivals = std::vector<Arrival>(size_t(connections));
            std::vector<std::thread> movers;
            for (int i = 0; i < connections; ++i) {
                movers.emplace_back([&, i] {
                    const Socket client(connectTo(relay.port()));
                    if (up) {
                        sendBytes(client.fd, share);
                        shutdown(client.fd, SHUT_WR);
                        waitForClose(client.fd);
                    } else {
                        arrivals[size_t(i)] = receiveAll(client.fd);
                    }
                });
            }
            for (std::thread& mover : movers)
                mover.join();
            if (up)
                arrivals = peer.takeArrivals();
            QCOMPARE(int(arrivals.size()), connections);
            Arrival all = arrivals.front();
            for (const Arrival& arrival : arrivals) {
                QCOMPARE(arrival.bytes, share);
                if (arrival.first < all.first) {
                    all.first = arrival.first;
                    all.firstBytes = arrival.firstBytes;
                }
                all.last = std::max(all.last, arrival.last);
            }
            QCOMPARE(relay.bytesRelayed(direction) - before, std::int64_t(share) * connections);
            // The first bytes to arrive had crossed the link before the clock started.
            const double seconds = std::chrono::duration<double>(all.last - all.first).count();
            if (round > 0)
                rates.push_back(double(bulkBytes - all.firstBytes) * 8 / seconds / 1e6);
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
