#include "watchdog.h"

#include "console.h"

#include <chrono>
#include <cstdlib>

Watchdog::Watchdog(int seconds, QString message, int exitCode)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    thread = std::thread([this, deadline, message, exitCode] {
        std::unique_lock<std::mutex> lock(mutex);
        if (wake.wait_until(lock, deadline, [this] { return cancelled; }))
            return;
        printError(message);
        // The GUI thread is stuck; unwinding it is not possible, only leaving.
        std::_Exit(exitCode);
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
    }
    wake.notify_all();
    thread.join();
}
