#ifndef SCRIPTEDCLOUD_H
#define SCRIPTEDCLOUD_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

class TestServer;
struct IssuedCertificate;

// A loopback cloud that knows one study: it answers the lookup, the record,
// the two dictionaries and the modify request at the paths that the form's
// settings name, from a thread of its own.
class ScriptedCloud
{
public:
    // Plain HTTP; with @p tls, HTTPS with that certificate.
    explicit ScriptedCloud(const IssuedCertificate* tls = nullptr);
    ~ScriptedCloud();

    ScriptedCloud(const ScriptedCloud&) = delete;
    ScriptedCloud& operator=(const ScriptedCloud&) = delete;

    // Points the form's settings at this cloud, reached at @p reachedAs when
    // given (a relay in front of it), trusting @p caFile when given, and gives
    // it small dictionaries whose entries the study's record names.
    bool install(const QString& caFile = QString(), const QString& reachedAs = QString()) const;

    TestServer& server() const { return *http; }

    static QByteArray sessionId();
    static QString studyUid();
    static QString serial();
    static QString symptom();

    // The URLs that the form's lookup and record requests send.
    std::string lookupUrl() const;
    std::string recordUrl() const;
    QString modifyUrl() const;
    QString checkItemUrl() const;
    QString positionUrl() const;

    // How many modify requests arrived so far, and the body of the last one.
    size_t modifyCount() const;
    QByteArray lastPostedBody() const;

private:
    std::unique_ptr<TestServer> http;
};

#endif
