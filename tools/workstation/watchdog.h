#ifndef WATCHDOG_H
#define WATCHDOG_H

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the process when it outlives a deadline. The study form's requests
// block the GUI thread, where no timer can fire, so the bound on a scripted
// run has to come from another thread.
class Watchdog
{
public:
    // After @p seconds, prints @p message and exits with @p exitCode.
    Watchdog(int seconds, QString message, int exitCode);
    ~Watchdog();

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool cancelled = false;
    std::thread thread;
};

#endif
