#include "multiuploader.h"

#include "curluploader.h"
#include "uploadtry.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait may last without a look at the clock; interrupt() wakes it sooner.
constexpr std::chrono::milliseconds longestWait{1000};

} // namespace

struct MultiUploader::Lane
{
    std::unique_ptr<CurlUploader> uploader;
    int file = -1;  // the file in flight; -1 when idle
};

struct MultiUploader::Waiting
{
    Clock::time_point due;
    int file;
};

MultiUploader::MultiUploader(const UploadSettings& settings, const UploadPolicy& policy)
    : retries(std::max(0, policy.retries))
    , multi(curl_multi_init())
{
    if (!multi)
        return;
    const long connections = std::max(1, policy.connections);
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, connections);
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_TOTAL_CONNECTIONS, connections);
    curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, connections);
    // One transfer per connection, so that the bound above counts transfers too.
    curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING));
    for (long i = 0; i < connections; ++i) {
        auto uploader = std::make_unique<CurlUploader>(settings);
        if (uploader->handle())
            lanes.push_back(Lane{std::move(uploader)});
    }
}

MultiUploader::~MultiUploader()
{
    release();
}

bool MultiUploader::run(const QStringList& files, const Settled& settled)
{
    const bool done = sendAll(files, settled);
    release();
    return done;
}

void MultiUploader::interrupt()
{
    stopping = true;
    std::lock_guard<std::mutex> lock(releaseMutex);
    if (multi)
        curl_multi_wakeup(multi.get());
}

void MultiUploader::release()
{
    std::lock_guard<std::mutex> lock(releaseMutex);
    for (const Lane& lane : lanes) {
        if (lane.file >= 0)
            curl_multi_remove_handle(multi.get(), lane.uploader->handle());
    }
    lanes.clear();
    multi.reset();
}

bool MultiUploader::sendAll(const QStringList& files, const Settled& settled)
{
    const int total = files.size();
    const auto fail = [&](int file) { return !stopping && settled(file, nullptr); };
    if (!multi || lanes.empty()) {
        for (int file = 0; file < total; ++file) {
            if (!fail(file))
                return false;
        }
        return true;
    }

    std::vector<int> retriesUsed(total, 0);
    std::vector<Waiting> waiting;
    int untried = 0;
    int busy = 0;
    // The last try found nobody at the address: new files wait until a retry tells more.
    bool doubtful = false;
    // A file used up its tries that way: the service is taken to be down.
    bool down = false;

    while (!stopping) {
        if (down) {
            std::sort(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) { return a.file < b.file; });
            for (const Waiting& retry : waiting) {
                if (!fail(retry.file))
                    return false;
            }
            waiting.clear();
            for (; untried < total; ++untried) {
                if (!fail(untried))
                    return false;
            }
        }

        const Clock::time_point now = Clock::now();
        for (Lane& lane : lanes) {
            while (lane.file < 0) {
                const auto due = std::min_element(waiting.begin(), waiting.end(),
                                                  [](const Waiting& a, const Waiting& b) { return a.due < b.due; });
                int file = -1;
                if (due != waiting.end() && due->due <= now) {
                    file = due->file;
                    waiting.erase(due);
                } else if (untried < total && !doubtful) {
                    file = untried++;
                } else {
                    break;
                }
                if (lane.uploader->prepare(files.at(file))
                    && curl_multi_add_handle(multi.get(), lane.uploader->handle()) == CURLM_OK) {
                    lane.file = file;
                    ++busy;
                } else if (!fail(file)) {
                    return false;
                }
            }
        }
        if (busy == 0 && waiting.empty() && untried == total)
            return true;

        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            // Only a broken multi handle says this: nothing more will go out.
            down = true;
            for (Lane& lane : lanes) {
                if (lane.file < 0)
                    continue;
                curl_multi_remove_handle(multi.get(), lane.uploader->handle());
                --busy;
                if (!fail(std::exchange(lane.file, -1)))
                    return false;
            }
            continue;
        }
        bool settledSome = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            // The message is gone once its handle leaves the multi handle.
            CURL* handle = message->easy_handle;
            const CURLcode result = message->data.result;
            const auto lane = std::find_if(lanes.begin(), lanes.end(),
                                           [handle](const Lane& s) { return s.uploader->handle() == handle; });
            curl_multi_remove_handle(multi.get(), handle);
            const int file = std::exchange(lane->file, -1);
            --busy;
            settledSome = true;

            const UploadTry outcome = lane->uploader->outcome(result);
            doubtful = outcome == UploadTry::Unreachable;
            if (outcome == UploadTry::Sent) {
                QByteArray reply = lane->uploader->takeReply();
                if (stopping || !settled(file, &reply))
                    return false;
            } else if (outcome != UploadTry::Refused && retriesUsed[file] < retries && !down) {
                const int retry = ++retriesUsed[file];
                waiting.push_back({Clock::now() + retryPause(retry, lane->uploader->retryAfter()), file});
            } else {
                down = down || outcome == UploadTry::Unreachable;
                if (!fail(file))
                    return false;
            }
        }
        if (settledSome)
            continue;

        std::chrono::milliseconds wait = longestWait;
        for (const Waiting& retry : waiting) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(retry.due - Clock::now());
            wait = std::clamp(left, std::chrono::milliseconds(0), wait);
        }
        curl_multi_poll(multi.get(), nullptr, 0, int(wait.count()), nullptr);
    }
    return false;
}
