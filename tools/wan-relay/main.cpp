#include "wanrelay.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: wan-relay --to=PORT [--port=PORT] [--rtt=MS] [--mbit=RATE]\n"
                 "  Relays 127.0.0.1:PORT (default: a free port, printed) to 127.0.0.1:TO as over a\n"
                 "  link with a round trip of MS milliseconds (default 0) and RATE Mbit/s in each\n"
                 "  direction (default: no cap), until interrupted.\n");
}

bool number(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && *value >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    double target = -1, port = 0, rtt = 0, mbit = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        double* value = name == "--to" ? &target : name == "--port" ? &port : name == "--rtt" ? &rtt
                      : name == "--mbit" ? &mbit : nullptr;
        if (!value || equals == std::string::npos || !number(argv[i] + equals + 1, value)) {
            usage();
            return 2;
        }
    }
    if (target < 1 || target > 65535 || port > 65535) {
        usage();
        return 2;
    }

    // Signals are taken by sigwait below, not by a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    WanLink link;
    link.oneWayDelay = std::chrono::microseconds(static_cast<long long>(rtt * 1000 / 2));
    link.bitsPerSecond = mbit * 1e6;
    WanRelay relay(int(target), link, int(port));
    std::string why;
    if (!relay.isListening(&why)) {
        std::fprintf(stderr, "wan-relay: %s\n", why.c_str());
        return 1;
    }
    char rate[64] = "no bandwidth cap";
    if (mbit > 0)
        std::snprintf(rate, sizeof rate, "%g Mbit/s", mbit);
    std::printf("wan-relay: 127.0.0.1:%d -> 127.0.0.1:%d, round trip %g ms, %s\n", relay.port(), int(target), rtt,
                rate);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("wan-relay: %lld bytes up, %lld bytes down over %d connections\n",
                static_cast<long long>(relay.bytesRelayed(WanRelay::Upstream)),
                static_cast<long long>(relay.bytesRelayed(WanRelay::Downstream)), relay.connections());
    return 0;
}
