#include "wanrelay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <list>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Small enough that a chunk's serialisation time stays well below a millisecond at 200 Mbit/s.
constexpr size_t chunkSize = 16 * 1024;
// What one direction of a connection may hold, in flight and queued: with a
// cap, a few round trips' worth, so that the link stays busy while the relay
// waits for the processor; 1 MiB at least, 4 MiB without a cap.
constexpr size_t uncappedQueue = 4 * 1024 * 1024;
constexpr size_t smallestQueue = 1024 * 1024;
constexpr double queueRoundTrips = 4;

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void setNoDelay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Closes with a reset, as a peer that vanished does.
void closeHard(int fd)
{
    const linger now{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    close(fd);
}

struct Chunk
{
    Clock::time_point due;
    std::vector<char> bytes;
    size_t sent = 0;
};

// One direction of one connection.
struct Pipe
{
    int from = -1;
    int to = -1;
    std::deque<Chunk> chunks;
    size_t queued = 0;
    bool ended = false;     // the sender closed its side
    bool shutDown = false;  // the receiver was told so

    bool hasDue(Clock::time_point now) const { return !chunks.empty() && chunks.front().due <= now; }
};

struct Connection
{
    Pipe pipes[2];
    Clock::time_point openedAt;
    bool broken = false;

    bool finished() const { return broken || (pipes[0].shutDown && pipes[1].shutDown); }
};

} // namespace

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(std::uint16_t(port));
    return address;
}

class WanRelay::Loop
{
public:
    Loop(WanRelay& relay, int listenFd, int targetPort)
        : relay(relay), listenFd(listenFd), targetPort(targetPort), wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        const double bytesPerSecond = relay.wan.bitsPerSecond / 8;
        const double roundTrip = 2 * std::chrono::duration<double>(relay.wan.oneWayDelay).count();
        queueLimit = bytesPerSecond > 0 ? std::max(smallestQueue, size_t(queueRoundTrips * bytesPerSecond * roundTrip))
                                        : uncappedQueue;
    }

    ~Loop()
    {
        for (Connection& connection : connections) {
            close(connection.pipes[Upstream].from);
            close(connection.pipes[Upstream].to);
        }
        close(wakeFd);
        close(listenFd);
    }

    void stop()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
    }

    void run()
    {
        std::vector<pollfd> fds;
        for (;;) {
            const Clock::time_point now = Clock::now();
            fds.assign({{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}});
            Clock::time_point next = Clock::time_point::max();
            for (Connection& connection : connections) {
                // Each socket is read for one pipe and written for the other.
                for (int end = 0; end < 2; ++end) {
                    const Pipe& reading = connection.pipes[end];
                    const Pipe& writing = connection.pipes[1 - end];
                    short events = 0;
                    if (!reading.ended && reading.queued < queueLimit)
                        events |= POLLIN;
                    if (writing.hasDue(now))
                        events |= POLLOUT;
                    else if (!writing.chunks.empty())
                        next = std::min(next, writing.chunks.front().due);
                    if (events)
                        fds.push_back({reading.from, events, 0});
                }
            }
            timespec wait{};
            timespec* timeout = nullptr;
            if (next != Clock::time_point::max()) {
                const auto left = std::max(next - now, Clock::duration::zero());
                const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
                wait = {time_t(seconds.count()),
                        long(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
                timeout = &wait;
            }
            if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR)
                return;
            if (fds[0].revents)
                return;
            if (fds[1].revents)
                acceptAll();
            for (auto it = connections.begin(); it != connections.end();) {
                serve(*it);
                if (it->finished()) {
                    closeConnection(*it);
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

private:
    void acceptAll()
    {
        for (;;) {
            const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client < 0)
                return;
            const int target = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in address = loopbackAddress(targetPort);
            // A loopback connect ends at once, refused or not.
            if (target < 0 || connect(target, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                if (target >= 0)
                    close(target);
                closeHard(client);
                continue;
            }
            setNonBlocking(target);
            setNoDelay(client);
            setNoDelay(target);
            ++relay.accepted;
            Connection& connection = connections.emplace_back();
            connection.openedAt = Clock::now();
            connection.pipes[Upstream].from = client;
            connection.pipes[Upstream].to = target;
            connection.pipes[Downstream].from = target;
            connection.pipes[Downstream].to = client;
        }
    }

    void serve(Connection& connection)
    {
        for (int direction = 0; direction < 2 && !connection.broken; ++direction) {
            Pipe& pipe = connection.pipes[direction];
            if (!pipe.ended && pipe.queued < queueLimit)
                receive(connection, Direction(direction));
            if (!connection.broken)
                deliver(connection, pipe);
        }
    }

    // Takes what the sender has, up to the queue's limit: a link left idle while
    // bytes wait in a socket would lose that time for good.
    void receive(Connection& connection, Direction direction)
    {
        Pipe& pipe = connection.pipes[direction];
        while (!pipe.ended && pipe.queued < queueLimit && receiveChunk(connection, direction)) {
        }
    }

    // False when the sender has nothing more for now, or the connection broke.
    bool receiveChunk(Connection& connection, Direction direction)
    {
        Pipe& pipe = connection.pipes[direction];
        const ssize_t n = recv(pipe.from, readBuffer.data(), std::min(chunkSize, queueLimit - pipe.queued), 0);
        if (n < 0) {
            connection.broken = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
            return false;
        }
        if (n == 0) {
            pipe.ended = true;
            return false;
        }
        std::vector<char> bytes(readBuffer.begin(), readBuffer.begin() + n);
        const Clock::time_point now = Clock::now();
        Clock::time_point start = now;
        // The first bytes of a connection leave once the handshake's round trip is over.
        if (direction == Upstream)
            start = std::max(start, connection.openedAt + 2 * relay.wan.oneWayDelay);
        if (relay.wan.bitsPerSecond > 0) {
            start = std::max(start, linkFreeAt[direction]);
            linkFreeAt[direction] = start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(double(n) * 8 / relay.wan.bitsPerSecond));
            start = linkFreeAt[direction];
        }
        pipe.queued += size_t(n);
        relay.relayed[direction] += n;
        pipe.chunks.push_back({start + relay.wan.oneWayDelay, std::move(bytes)});
        return true;
    }

    void deliver(Connection& connection, Pipe& pipe)
    {
        const Clock::time_point now = Clock::now();
        while (pipe.hasDue(now)) {
            Chunk& chunk = pipe.chunks.front();
            const ssize_t n = send(pipe.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                                   MSG_NOSIGNAL);
            if (n < 0) {
                connection.broken = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
                return;
            }
            chunk.sent += size_t(n);
            pipe.queued -= size_t(n);
            if (chunk.sent < chunk.bytes.size())
                return;
            pipe.chunks.pop_front();
        }
        if (pipe.ended && pipe.chunks.empty() && !pipe.shutDown) {
            shutdown(pipe.to, SHUT_WR);
            pipe.shutDown = true;
        }
    }

    static void closeConnection(Connection& connection)
    {
        const int client = connection.pipes[Upstream].from, target = connection.pipes[Upstream].to;
        if (connection.broken) {
            // One end went away abruptly: so does the other.
            closeHard(client);
            closeHard(target);
        } else {
            close(client);
            close(target);
        }
    }

    WanRelay& relay;
    const int listenFd;
    const int targetPort;
    const int wakeFd;
    size_t queueLimit = uncappedQueue;
    // Read into once and copied out, so that no chunk is cleared before it is filled.
    std::vector<char> readBuffer = std::vector<char>(chunkSize);
    Clock::time_point linkFreeAt[2]{};
    std::list<Connection> connections;
};

WanRelay::WanRelay(int targetPort, const WanLink& link, int port) : wan(link)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = loopbackAddress(port);
    socklen_t length = sizeof address;
    const int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failure = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return;
    }
    listenPort = ntohs(address.sin_port);
    loop = std::make_unique<Loop>(*this, fd, targetPort);
    thread = std::thread([this] { loop->run(); });
}

WanRelay::~WanRelay()
{
    if (loop)
        loop->stop();
    if (thread.joinable())
        thread.join();
}

bool WanRelay::isListening(std::string* why) const
{
    if (why)
        *why = failure;
    return failure.empty();
}
