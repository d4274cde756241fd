#include "faultserver.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t maxConnections = 64;
// A request head beyond this is taken as complete; the rest is only counted.
constexpr size_t maxHeadSize = 64 * 1024;
constexpr size_t fillChunkSize = 64 * 1024;

const std::string& defaultGarbage()
{
    // Not a status line, followed by what a lookup would accept: a client that
    // takes garbage for a body would show a serial number.
    static const std::string garbage =
        std::string("\x16\x03\x01\x02\x00 no status line here\r\n\r\n", 27) + R"({"rischeckserialnum":"G1"})";
    return garbage;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
    return text;
}

// The value of header @p name in a request head, lower-cased; empty when absent.
std::string headerValue(const std::string& lowerHead, const std::string& name)
{
    const std::string key = "\r\n" + name + ":";
    const size_t at = lowerHead.find(key);
    if (at == std::string::npos)
        return std::string();
    size_t begin = at + key.size();
    const size_t end = lowerHead.find("\r\n", begin);
    while (begin < end && lowerHead[begin] == ' ')
        ++begin;
    return lowerHead.substr(begin, end - begin);
}

std::string okHead(std::int64_t length)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(length)
           + "\r\nConnection: close\r\n\r\n";
}

bool setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

struct FaultServer::Connection
{
    int fd = -1;
    bool closed = false;

    // Reading the request.
    std::string head;
    bool headDone = false;
    bool requestDone = false;
    std::int64_t bodyLeft = 0;  // Content-Length still to come
    bool chunked = false;
    std::string tail;  // last bytes of a chunked body, to spot its end

    // Answering.
    bool answering = false;
    std::string out;
    size_t outSent = 0;
    size_t outBodyStart = 0;  // where the announced body starts in out
    std::int64_t fillLeft = 0;
    bool writeShut = false;  // everything sent; waiting for the peer to close
};

FaultServer::FaultServer(Kind kind, std::string bytes)
    : faultKind(kind)
    , payload(std::move(bytes))
{
    if (payload.empty())
        payload = kind == Garbage ? defaultGarbage() : std::string(4096, 'h');

    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("fault server: no socket: %s", std::strerror(errno));
    listenPort = ntohs(address.sin_port);

    // A bound socket that never listens keeps the port ours and refuses connects.
    if (kind == Refused)
        return;
    if (listen(listenFd, 16) != 0 || !setNonBlocking(listenFd) || pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("fault server: cannot listen: %s", std::strerror(errno));
    thread = std::thread([this] { run(); });
}

FaultServer::~FaultServer()
{
    if (thread.joinable()) {
        const char stop = 's';
        while (write(wakeFds[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread.join();
    }
    for (int fd : {listenFd, wakeFds[0], wakeFds[1]}) {
        if (fd >= 0)
            close(fd);
    }
}

QString FaultServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(listenPort) + path;
}

void FaultServer::run()
{
    std::vector<Connection> connections;
    std::vector<pollfd> polled;
    char buffer[16 * 1024];

    for (;;) {
        polled.clear();
        polled.push_back({wakeFds[0], POLLIN, 0});
        polled.push_back({listenFd, POLLIN, 0});
        for (const Connection& c : connections) {
            const bool sending = c.answering && !c.writeShut;
            polled.push_back({c.fd, short(POLLIN | (sending ? POLLOUT : 0)), 0});
        }
        if (poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qFatal("fault server: poll: %s", std::strerror(errno));
        }
        if (polled[0].revents)
            break;

        if (polled[1].revents & POLLIN) {
            const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0 && connections.size() >= maxConnections) {
                close(fd);
            } else if (fd >= 0) {
                Connection c;
                c.fd = fd;
                connections.push_back(std::move(c));
                ++accepted;
                ++open;
            }
        }

        for (size_t i = 2; i < polled.size(); ++i) {
            Connection& c = connections[i - 2];
            const short events = polled[i].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = read(c.fd, buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    c.closed = true;
                    continue;
                }
                if (n > 0 && !c.requestDone && takeRequest(c, std::string(buffer, size_t(n)))
                    && faultKind != Stall)
                    startAnswer(c);
            }
            if (!c.closed && (events & POLLOUT) && c.answering && !c.writeShut)
                c.closed = !writeSome(c);
        }

        for (auto it = connections.begin(); it != connections.end();) {
            if (it->closed) {
                close(it->fd);
                --open;
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    for (const Connection& c : connections)
        close(c.fd);
    open = 0;
}

bool FaultServer::takeRequest(Connection& c, std::string data)
{
    if (!c.headDone) {
        c.head += data;
        data.clear();
        const size_t end = c.head.find("\r\n\r\n");
        if (end == std::string::npos && c.head.size() <= maxHeadSize)
            return false;
        c.headDone = true;
        const size_t bodyStart = end == std::string::npos ? c.head.size() : end + 4;
        data = c.head.substr(bodyStart);
        c.head.resize(bodyStart);
        const std::string lower = lowerCase(c.head);
        c.chunked = headerValue(lower, "transfer-encoding").find("chunked") != std::string::npos;
        if (!c.chunked)
            c.bodyLeft = std::atoll(headerValue(lower, "content-length").c_str());
    }
    if (c.chunked) {
        // Only the last bytes matter: a chunked body ends in a chunk of size 0.
        c.tail += data;
        if (c.tail.size() > 5)
            c.tail.erase(0, c.tail.size() - 5);
        c.requestDone = c.tail == "0\r\n\r\n";
    } else {
        c.bodyLeft -= std::int64_t(data.size());
        c.requestDone = c.bodyLeft <= 0;
    }
    return c.requestDone;
}

void FaultServer::startAnswer(Connection& c)
{
    c.answering = true;
    switch (faultKind) {
    case Garbage:
        c.out = payload;
        c.outBodyStart = c.out.size();
        break;
    case HalfClose:
        c.out = okHead(std::int64_t(payload.size()));
        c.outBodyStart = c.out.size();
        c.out += payload.substr(0, payload.size() / 2);
        break;
    case Huge:
        c.out = okHead(hugeBodySize);
        c.outBodyStart = c.out.size();
        c.fillLeft = hugeBodySize;
        break;
    case Refused:
    case Stall:
        c.answering = false;
        break;
    }
}

bool FaultServer::writeSome(Connection& c)
{
    static const std::string fill(fillChunkSize, 'x');
    for (;;) {
        const char* data;
        size_t size;
        if (c.outSent < c.out.size()) {
            data = c.out.data() + c.outSent;
            size = c.out.size() - c.outSent;
        } else if (c.fillLeft > 0) {
            data = fill.data();
            size = size_t(std::min<std::int64_t>(c.fillLeft, std::int64_t(fill.size())));
        } else {
            // All sent: the peer sees the end of the stream, short of the
            // announced length for a half-closed reply.
            shutdown(c.fd, SHUT_WR);
            c.writeShut = true;
            return true;
        }
        const ssize_t n = send(c.fd, data, size, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        if (c.outSent < c.out.size()) {
            const size_t from = std::max(c.outSent, c.outBodyStart);
            c.outSent += size_t(n);
            if (c.outSent > from)
                bodySent += std::int64_t(c.outSent - from);
        } else {
            c.fillLeft -= n;
            bodySent += n;
        }
    }
}
