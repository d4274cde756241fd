#ifndef HTTPSOPENFIGURE_H
#define HTTPSOPENFIGURE_H

#include "benchfigure.h"

#include <memory>

class MessageBoxAnswerer;
class CloudPaientInfoForm;
class ScriptedCloud;
class TestCertificateAuthority;

// Opening a known study over HTTPS, with the CA file that the form trusts,
// against the same over plain HTTP, both on loopback. The TLS handshakes'
// share comes from bare libcurl GETs of the same HTTPS URLs, set up as the
// form sets up its handles, timed from the TCP connection to the end of the
// handshake.
class HttpsOpenFigure : public BenchFigure
{
public:
    HttpsOpenFigure(const ScriptedCloud& plainCloud, MessageBoxAnswerer& answerer);
    ~HttpsOpenFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    // Makes a form for each cloud (a form reads its settings when it is made)
    // and opens the study once on each, untimed; the plain cloud's settings
    // stay in place for the other figures.
    QString setUp() override;
    // The form is made by setUp(), which runs at the first case.
    void timeOpen(benchmark::State& state, const std::unique_ptr<CloudPaientInfoForm>& form);
    void timeHandshakes(benchmark::State& state);

    const ScriptedCloud& plainCloud;
    MessageBoxAnswerer& answerer;
    std::unique_ptr<TestCertificateAuthority> authority;
    std::unique_ptr<ScriptedCloud> tlsCloud;
    std::unique_ptr<CloudPaientInfoForm> httpsForm;
    std::unique_ptr<CloudPaientInfoForm> httpForm;
};

#endif
