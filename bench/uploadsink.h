#ifndef UPLOADSINK_H
#define UPLOADSINK_H

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// An upload endpoint on 127.0.0.1 that lets each body stream past and keeps
// none of it, so that a process uploading to it in-process holds no more
// memory than the sending takes. Answers every POST with 200 and "{}".
class UploadSink
{
public:
    UploadSink();
    ~UploadSink();

    UploadSink(const UploadSink&) = delete;
    UploadSink& operator=(const UploadSink&) = delete;

    // False when it could not listen.
    bool isListening() const { return port > 0; }
    QString url() const;

    // Requests answered and body bytes seen so far.
    int uploads() const { return answered; }
    std::int64_t bytes() const { return seen; }

private:
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = -1;
    std::atomic<int> answered{0};
    std::atomic<std::int64_t> seen{0};
};

#endif
