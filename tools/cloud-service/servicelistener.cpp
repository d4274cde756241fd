#include "servicelistener.h"

#include "cloudservice.h"

#include <httplib.h>

#include <QFile>

#include <chrono>
#include <cstdio>

ServiceListener::ServiceListener(CloudService& service) : ServiceListener(service, std::make_unique<httplib::Server>())
{
}

ServiceListener::ServiceListener(CloudService& service, const QString& certFile, const QString& keyFile)
    : ServiceListener(service, std::make_unique<httplib::SSLServer>(QFile::encodeName(certFile).constData(),
                                                                    QFile::encodeName(keyFile).constData()))
{
}

ServiceListener::ServiceListener(CloudService& service, std::unique_ptr<httplib::Server> httpServer)
    : server(std::move(httpServer))
{
    // An upload task sends its files one after another on one connection;
    // Nagle and the default limit of five requests per connection slow it down.
    server->set_tcp_nodelay(true);
    server->set_keep_alive_max_count(100000);
    service.attach(*server);
}

bool ServiceListener::isValid() const
{
    return server->is_valid();
}

ServiceListener::~ServiceListener()
{
    stop();
}

void ServiceListener::logRequests()
{
    server->set_logger([](const httplib::Request& request, const httplib::Response& response) {
        std::fprintf(stderr, "%s %s %d\n", request.method.c_str(), request.target.c_str(), response.status);
    });
}

bool ServiceListener::listen(const QString& host, int port)
{
    if (thread.joinable() || !isValid())
        return false;
    const std::string address = host.toStdString();
    if (port == 0)
        boundPort = server->bind_to_any_port(address);
    else
        boundPort = server->bind_to_port(address, port) ? port : -1;
    if (boundPort < 0)
        return false;
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void ServiceListener::stop()
{
    if (!thread.joinable())
        return;
    server->stop();
    thread.join();
}
