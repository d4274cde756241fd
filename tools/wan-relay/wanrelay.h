#ifndef WANRELAY_H
#define WANRELAY_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include <netinet/in.h>

// The address of @p port on 127.0.0.1, where the relay and its ends live.
sockaddr_in loopbackAddress(int port);

// What the simulated link between the two ends is like.
struct WanLink
{
    std::chrono::microseconds oneWayDelay{0};  // each direction; the round trip is twice this
    double bitsPerSecond = 0;                  // shared by the connections of a direction; 0: no cap
};

// A TCP relay on 127.0.0.1 that makes a loopback connection look like a wide
// area link: it forwards each connection to another loopback port, and every
// chunk it reads arrives at the other end one delay later, after waiting its
// turn on its direction's link when there is a bandwidth cap. A new
// connection's first bytes wait one round trip more, as behind TCP's
// handshake. It does not model loss or TCP's slow start. One thread of its own
// serves every connection until the relay is destroyed.
class WanRelay
{
public:
    enum Direction { Upstream, Downstream };  // toward the target, back to the client

    // Listens on 127.0.0.1:@p listenPort (0: a free one) for @p targetPort.
    WanRelay(int targetPort, const WanLink& link, int listenPort = 0);
    ~WanRelay();

    WanRelay(const WanRelay&) = delete;
    WanRelay& operator=(const WanRelay&) = delete;

    // False with the reason when the port could not be taken.
    bool isListening(std::string* why = nullptr) const;
    int port() const { return listenPort; }
    const WanLink& link() const { return wan; }

    // Bytes taken onto the link so far in @p direction (each is delivered one
    // delay later unless its connection breaks first), and connections taken.
    std::int64_t bytesRelayed(Direction direction) const { return relayed[direction]; }
    int connections() const { return accepted; }

private:
    class Loop;

    const WanLink wan;
    int listenPort = 0;
    std::string failure;
    std::atomic<std::int64_t> relayed[2]{};
    std::atomic<int> accepted{0};
    std::unique_ptr<Loop> loop;
    std::thread thread;
};

#endif
