#include "faultserver.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t maxConnections = 64;
// A request head beyond this is taken as complete.
constexpr size_t maxHeadSize = 64 * 1024;
constexpr std::int64_t fillChunkSize = 64 * 1024;

// Not a status line, followed by what a lookup would accept: a client that
// takes garbage for a body would show a serial number.
std::string defaultGarbage()
{
    return std::string("\x16\x03\x01\x02\x00 no status line here\r\n\r\n", 27) + R"({"rischeckserialnum":"G1"})";
}

std::string okHead(std::int64_t length)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(length)
           + "\r\nConnection: close\r\n\r\n";
}

std::int64_t contentLength(const std::string& head)
{
    const char* at = strcasestr(head.c_str(), "\r\ncontent-length:");
    return at ? std::atoll(at + 17) : 0;
}

// Reads one request's head and its Content-Length body (our clients send no
// chunked bodies), or only the first half of the body; false when the client
// closed first.
bool readRequest(int fd, bool half = false)
{
    std::string head;
    char buffer[16 * 1024];
    size_t end = std::string::npos;
    while ((end = head.find("\r\n\r\n")) == std::string::npos && head.size() <= maxHeadSize) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        head.append(buffer, size_t(n));
    }
    const size_t bodyStart = end == std::string::npos ? head.size() : end + 4;
    const std::int64_t body = contentLength(head.substr(0, bodyStart));
    for (std::int64_t left = (half ? body / 2 : body) - std::int64_t(head.size() - bodyStart); left > 0;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        left -= n;
    }
    return true;
}

} // namespace

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
    socklen_t length = sizeof address;
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("fault server: no socket: %s", std::strerror(errno));
    listenPort = ntohs(address.sin_port);

    // A bound socket that never listens keeps the port ours and refuses connects.
    if (kind == Refused)
        return;
    if (listen(listenFd, 16) != 0)
        qFatal("fault server: cannot listen: %s", std::strerror(errno));
    thread = std::thread([this] { run(); });
}

FaultServer::~FaultServer()
{
    // On Linux this wakes the blocked accept, and each served socket's blocked read or write.
    shutdown(listenFd, SHUT_RDWR);
    if (thread.joinable())
        thread.join();
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int fd : liveFds)
            shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& server : servers)
        server.join();
    close(listenFd);
}

QString FaultServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(listenPort) + path;
}

void FaultServer::run()
{
    for (;;) {
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        if (liveFds.size() >= maxConnections) {
            close(fd);
            continue;
        }
        liveFds.push_back(fd);
        const bool first = ++accepted == 1;
        servers.emplace_back([this, fd, first] { serve(fd, first); });
    }
}

void FaultServer::serve(int fd, bool first)
{
    if (faultKind == ResetFirst && first) {
        readRequest(fd, true);
        // Closing with unread bytes, and no lingering, resets the connection.
        const linger now{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    } else {
        if (readRequest(fd) && faultKind != Stall)
            answer(fd);
        // Wait for the client to close, so that nothing it still sends is met with a reset.
        char buffer[4096];
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    liveFds.erase(std::find(liveFds.begin(), liveFds.end(), fd));
    close(fd);
}

void FaultServer::answer(int fd)
{
    if (faultKind == Garbage) {
        sendAll(fd, payload.data(), std::int64_t(payload.size()), false);
    } else if (faultKind == HalfClose) {
        const std::string head = okHead(std::int64_t(payload.size()));
        if (sendAll(fd, head.data(), std::int64_t(head.size()), false))
            sendAll(fd, payload.data(), std::int64_t(payload.size() / 2), true);
    } else if (faultKind == ResetFirst) {
        const std::string reply = okHead(std::int64_t(payload.size())) + payload;
        sendAll(fd, reply.data(), std::int64_t(reply.size()), false);
    } else if (faultKind == Huge) {
        const std::string head = okHead(hugeBodySize);
        static const std::string fill(fillChunkSize, 'x');
        bool sending = sendAll(fd, head.data(), std::int64_t(head.size()), false);
        for (std::int64_t left = hugeBodySize; sending && left > 0; left -= fillChunkSize)
            sending = sendAll(fd, fill.data(), std::min(left, fillChunkSize), true);
    }
    // The client sees the end of the stream, short of the announced length for a half-closed reply.
    shutdown(fd, SHUT_WR);
}

bool FaultServer::sendAll(int fd, const char* data, std::int64_t size, bool body)
{
    while (size > 0) {
        const ssize_t n = send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (body)
            bodySent += n;
        data += n;
        size -= n;
    }
    return true;
}
