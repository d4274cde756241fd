#ifndef FAULTSERVER_H
#define FAULTSERVER_H

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A peer that misbehaves at the socket level, on 127.0.0.1 and a free port, in
// threads of the test process: one takes connections, one serves each of them.
// It holds at most a few dozen connections, never buffers more than a request's
// head, and stops in its destructor.
class FaultServer
{
public:
    enum Kind {
        Refused,    // the port is held but nobody listens: every connect is refused
        Stall,      // accepts and reads, never answers
        Garbage,    // answers each request with payload bytes that are not HTTP, then closes
        HalfClose,  // announces the payload as a 200 body, sends half of it, then closes
        Huge,       // a 200 reply of hugeBodySize bytes, streamed from a small buffer
        ResetFirst, // resets the first connection half-way through its request's body; answers later ones with
                    // the payload as a 200 body
    };

    static constexpr std::int64_t hugeBodySize = 100 * 1024 * 1024;

    // An empty payload means a default one that names nothing the client looks for.
    explicit FaultServer(Kind kind, std::string payload = std::string());
    ~FaultServer();

    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // "http://127.0.0.1:<port>" followed by path.
    QString url(const QString& path = QString()) const;

    // Connections accepted so far.
    int connections() const { return accepted; }
    // Body bytes written so far (announced bodies only, not garbage).
    std::int64_t bodyBytesSent() const { return bodySent; }

private:
    void run();
    void serve(int fd, bool first);
    void answer(int fd);
    bool sendAll(int fd, const char* data, std::int64_t size, bool body);

    const Kind faultKind;
    std::string payload;
    int listenFd = -1;
    int listenPort = 0;
    std::atomic<int> accepted{0};
    std::atomic<std::int64_t> bodySent{0};
    std::mutex mutex;
    std::vector<int> liveFds;  // under mutex
    std::vector<std::thread> servers;
    std::thread thread;
};

#endif
