#ifndef CLOUDSERVICE_H
#define CLOUDSERVICE_H

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}
struct CloudStudy;
class StudyStore;

// The cloud's examination records behind HTTP: login, check-number lookup,
// study record, the two dictionaries, record changes and image upload.
// Everything it keeps lives in its data folder: the database "cloud.sqlite"
// and the received images below "studies/". Servers it is attached to must be
// stopped before it is destroyed.
class CloudService
{
public:
    explicit CloudService(const QString& dataDir);
    ~CloudService();

    CloudService(const CloudService&) = delete;
    CloudService& operator=(const CloudService&) = delete;

    // False when the data folder or its database cannot be used.
    bool isReady() const;
    QString errorString() const;
    QString dataDir() const { return folder; }

    // Replaces the accounts that may log in (at first: "demo" with password "demo").
    void setAccounts(std::map<QString, QString> accounts);

    // Registers the endpoints on server; several servers may share one service.
    void attach(httplib::Server& server);

    // Registers a study without images unless it is known; its serial, or
    // empty when it could not be stored.
    QString seedStudy(const CloudStudy& study, bool* created = nullptr);

    StudyStore& store() { return *records; }

private:
    void login(const httplib::Request& request, httplib::Response& response);
    void findCheckNumber(const httplib::Request& request, httplib::Response& response);
    void studyInfo(const httplib::Request& request, httplib::Response& response);
    void checkItems(const httplib::Request& request, httplib::Response& response);
    void positions(const httplib::Request& request, httplib::Response& response);
    void modifyStudy(const httplib::Request& request, httplib::Response& response);
    void uploadImage(const httplib::Request& request, httplib::Response& response);

    bool hasLiveSession(const httplib::Request& request);

    QString folder;
    QString error;
    std::unique_ptr<StudyStore> records;
    std::mutex accountsMutex;
    std::map<QString, QString> accounts;
};

// The JSESSIONID value in a Cookie header ("a=b; JSESSIONID=x"), empty when absent.
std::string sessionIdFromCookie(const std::string& cookieHeader);

#endif
