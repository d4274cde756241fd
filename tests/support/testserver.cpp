#include "testserver.h"

#include <algorithm>
#include <chrono>

TestServer::TestServer() : TestServer(std::make_unique<httplib::Server>(), "http") {}

TestServer::TestServer(std::unique_ptr<httplib::Server> httpServer, const char* urlScheme)
    : server(std::move(httpServer)), scheme(QLatin1String(urlScheme))
{
    // A server that cannot serve would never report running below.
    if (!server->is_valid())
        qFatal("the test server cannot serve %s", urlScheme);
    // Without it every request on a kept-alive connection waits for Nagle.
    server->set_tcp_nodelay(true);
    const auto route = [this](const httplib::Request& rq, httplib::Response& rs) { handle(rq, rs); };
    server->Get(".*", route);
    server->Post(".*", route);
    server->Put(".*", route);
    server->Delete(".*", route);
    listenPort = server->bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer()
{
    server->stop();
    thread.join();
}

QString TestServer::url(const QString& path) const
{
    return scheme + QStringLiteral("://127.0.0.1:%1").arg(listenPort) + path;
}

void TestServer::setReply(const std::string& method, const std::string& path, ScriptedReply reply)
{
    setHandler(method, path, [reply](const httplib::Request&, httplib::Response& response) {
        response.status = reply.status;
        if (!reply.location.empty())
            response.set_header("Location", reply.location);
        if (!reply.breakHalfway)
            return response.set_content(reply.body, reply.contentType.c_str());
        const std::string body = reply.body;
        response.set_content_provider(
            body.size(), reply.contentType.c_str(), [body](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    sink.write(body.data(), body.size() / 2);
                return offset == 0;  // the second call ends the connection early
            });
    });
}

void TestServer::setHandler(const std::string& method, const std::string& path, RequestHandler handler)
{
    std::lock_guard<std::mutex> lock(mutex);
    handlers[{method, path}] = std::move(handler);
}

std::vector<RecordedRequest> TestServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

std::vector<RecordedRequest> TestServer::requests(const std::string& path) const
{
    std::vector<RecordedRequest> matching = requests();
    matching.erase(std::remove_if(matching.begin(), matching.end(), [&](const auto& r) { return r.path != path; }),
                   matching.end());
    return matching;
}

void TestServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
}

void TestServer::handle(const httplib::Request& request, httplib::Response& response)
{
    RecordedRequest record{request.method, request.target, request.path, request.headers, request.body, {},
                           request.remote_port};
    for (const auto& [name, file] : request.files)
        record.parts.push_back({name, file.filename, file.content});

    RequestHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(std::move(record));
        auto it = handlers.find({request.method, request.path});
        if (it != handlers.end())
            handler = it->second;
    }
    if (handler)
        return handler(request, response);
    response.status = 404;
    response.set_content("", "text/plain");
}
