#ifndef TESTSERVER_H
#define TESTSERVER_H

#include <httplib.h>

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One multipart part of a received request.
struct RecordedPart
{
    std::string name;
    std::string filename;
    std::string content;
};

// A request as the server received it.
struct RecordedRequest
{
    std::string method;
    std::string target;  // path and query exactly as sent
    std::string path;    // decoded path without the query
    httplib::Headers headers;
    std::string body;
    std::vector<RecordedPart> parts;
    int remote_port = -1;  // client side of the connection; one value per TCP connection

    std::string header(const std::string& name) const
    {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    size_t headerCount(const std::string& name) const { return headers.count(name); }
};

// What the server answers on one method and path.
struct ScriptedReply
{
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::string location;        // sent as Location when not empty (redirects)
    bool breakHalfway = false;   // announce the whole body, send half of it, then close
};

using RequestHandler = std::function<void(const httplib::Request&, httplib::Response&)>;

// A real HTTP server on 127.0.0.1, on a free port, in a thread of the test
// process. It records every request and answers with what the test scripted;
// an unscripted path gets 404 with an empty body.
class TestServer
{
public:
    TestServer();
    virtual ~TestServer();

    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return listenPort; }
    // "<scheme>://127.0.0.1:<port>" followed by path.
    QString url(const QString& path = QString()) const;

    void setReply(const std::string& method, const std::string& path, ScriptedReply reply);
    void setHandler(const std::string& method, const std::string& path, RequestHandler handler);

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requests(const std::string& path) const;
    void clearRequests();

protected:
    // Serves through @p server (an httplib::SSLServer for https), whose URLs start with @p scheme.
    TestServer(std::unique_ptr<httplib::Server> server, const char* scheme);

private:
    void handle(const httplib::Request& request, httplib::Response& response);

    const std::unique_ptr<httplib::Server> server;
    const QString scheme;
    std::thread thread;
    int listenPort = 0;
    mutable std::mutex mutex;
    std::map<std::pair<std::string, std::string>, RequestHandler> handlers;
    std::vector<RecordedRequest> received;
};

#endif
