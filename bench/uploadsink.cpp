#include "uploadsink.h"

#include <httplib.h>

#include <chrono>

UploadSink::UploadSink() : server(std::make_unique<httplib::Server>())
{
    server->set_tcp_nodelay(true);
    server->set_keep_alive_max_count(1000000);
    server->Post("/upload", [this](const httplib::Request&, httplib::Response& response,
                                   const httplib::ContentReader& read) {
        // Multipart bodies reach the reader part by part.
        read([](const httplib::MultipartFormData&) { return true; },
             [this](const char*, size_t length) {
                 seen += std::int64_t(length);
                 return true;
             });
        ++answered;
        response.set_content("{}", "application/json");
    });
    port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return;
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

UploadSink::~UploadSink()
{
    server->stop();
    if (thread.joinable())
        thread.join();
}

QString UploadSink::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/upload").arg(port);
}
