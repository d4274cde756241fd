#ifndef MULTIUPLOADER_H
#define MULTIUPLOADER_H

#include <QByteArray>
#include <QStringList>

#include "curlhandles.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CurlUploader;
struct UploadSettings;

/// How a task spreads and repeats its tries.
struct UploadPolicy
{
    int connections = 1;  ///< transfers at once, each on a kept-alive connection of its own
    int retries = 0;      ///< further tries of a file after a transient failure
};

/**
 * Sends a list of files to the upload endpoint over up to policy.connections
 * connections at once, on the thread that calls run(). A file that fails for a
 * transient reason goes again after a growing pause, up to policy.retries
 * times; once a file has used up its tries on an address where nobody takes
 * the connection, the files not yet settled fail at once.
 */
class MultiUploader
{
public:
    /// One file settled: its index in the list and, when the service took it,
    /// the reply (null when the file failed). Returning false stops the run.
    using Settled = std::function<bool(int index, QByteArray* reply)>;

    /// Makes the handles; call on the thread that owns the task.
    MultiUploader(const UploadSettings& settings, const UploadPolicy& policy);
    ~MultiUploader();

    MultiUploader(const MultiUploader&) = delete;
    MultiUploader& operator=(const MultiUploader&) = delete;

    /// Sends @p files, calling @p settled once per file in the order the files
    /// settle, and closes the connections. False when stopped before every
    /// file had settled. Runs once.
    bool run(const QStringList& files, const Settled& settled);

    /// From any thread: makes a running run() return false within moments.
    void interrupt();

private:
    struct Lane;
    struct Waiting;

    bool sendAll(const QStringList& files, const Settled& settled);
    void release();

    const int retries;
    std::atomic<bool> stopping{false};
    // Guards the multi handle against interrupt() while run() lets it go.
    std::mutex releaseMutex;
    // Declared before the lanes: the easy handles go first.
    CurlMulti multi;
    std::vector<Lane> lanes;
};

#endif
