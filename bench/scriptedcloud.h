#ifndef SCRIPTEDCLOUD_H
#define SCRIPTEDCLOUD_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

class TestServer;

// A loopback cloud that knows one study: it answers the lookup, the record,
// the two dictionaries and the modify request at the paths that the form's
// settings name, from a thread of its own.
class ScriptedCloud
{
public:
    ScriptedCloud();
    ~ScriptedCloud();

    ScriptedCloud(const ScriptedCloud&) = delete;
    ScriptedCloud& operator=(const ScriptedCloud&) = delete;

    // Points the form's settings at this cloud and gives it small dictionaries
    // whose entries the study's record names.
    bool install() const;

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
