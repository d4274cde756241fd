#ifndef SERVICELISTENER_H
#define SERVICELISTENER_H

#include <QString>

#include <memory>
#include <thread>

namespace httplib {
class Server;
}
class CloudService;

// One HTTP server for a CloudService on one address, answering from a thread
// of its own until stopped or destroyed.
class ServiceListener
{
public:
    explicit ServiceListener(CloudService& service);
    // Serves HTTPS with a PEM certificate (chain) and its private key.
    ServiceListener(CloudService& service, const QString& certFile, const QString& keyFile);
    ~ServiceListener();

    // False when the certificate or the key could not be loaded.
    bool isValid() const;

    ServiceListener(const ServiceListener&) = delete;
    ServiceListener& operator=(const ServiceListener&) = delete;

    // Writes "METHOD target status" to standard error for every request.
    void logRequests();

    // Binds host:port (port 0: a free one) and starts answering; false when
    // the address cannot be bound.
    bool listen(const QString& host, int port);
    int port() const { return boundPort; }

    void stop();

private:
    ServiceListener(CloudService& service, std::unique_ptr<httplib::Server> httpServer);

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int boundPort = -1;
};

#endif
