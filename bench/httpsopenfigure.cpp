#include "httpsopenfigure.h"

#include "benchsummary.h"
#include "cloudpaientinfoform.h"
#include "curlhandles.h"
#include "openstudyfigure.h"
#include "scriptedcloud.h"
#include "testcertificateauthority.h"
#include "transportsecurity.h"

#include <benchmark/benchmark.h>

#include <QFile>

namespace {

const std::string httpsKey = "https-open/openStudy-https";
const std::string httpKey = "https-open/openStudy-http";
const std::string handshakeKey = "https-open/two-tls-handshakes";
constexpr int iterations = 100;

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// Seconds from the TCP connection to the end of the TLS handshake of one GET
// of @p url, on a handle secured as the form secures its own; negative when
// the GET failed.
double handshakeSeconds(const std::string& url, const QByteArray& caFile)
{
    const CurlEasy curl(curl_easy_init());
    if (!curl || applyTransportSecurity(curl.get(), url.c_str(), caFile.constData()) != CURLE_OK)
        return -1;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, discard);
    curl_off_t connected = 0;
    curl_off_t secured = 0;
    if (curl_easy_perform(curl.get()) != CURLE_OK
        || curl_easy_getinfo(curl.get(), CURLINFO_CONNECT_TIME_T, &connected) != CURLE_OK
        || curl_easy_getinfo(curl.get(), CURLINFO_APPCONNECT_TIME_T, &secured) != CURLE_OK || secured <= connected)
        return -1;
    return double(secured - connected) / 1e6;
}

QString percent(double part, double whole)
{
    return whole > 0 ? QString::number(100 * part / whole, 'f', 0) + QLatin1Char('%') : QStringLiteral("n/a");
}

} // namespace

HttpsOpenFigure::HttpsOpenFigure(const ScriptedCloud& plainCloud, MessageBoxAnswerer& answerer)
    : plainCloud(plainCloud), answerer(answerer)
{
}

HttpsOpenFigure::~HttpsOpenFigure() = default;

void HttpsOpenFigure::registerRound(int round)
{
    registerPair(
        round, iterations, httpsKey, [this](benchmark::State& state) { timeOpen(state, httpsForm); }, httpKey,
        [this](benchmark::State& state) { timeOpen(state, httpForm); });
    registerCase(handshakeKey, round, [this](benchmark::State& state) { timeHandshakes(state); })
        ->Iterations(iterations);
}

QString HttpsOpenFigure::setUp()
{
    authority = std::make_unique<TestCertificateAuthority>(QStringLiteral("Bench Hospital CA"));
    const IssuedCertificate certificate = authority->issue();
    tlsCloud = std::make_unique<ScriptedCloud>(&certificate);
    if (!tlsCloud->install(authority->caFile()))
        return QStringLiteral("cannot write the settings for the HTTPS cloud");
    httpsForm = std::make_unique<CloudPaientInfoForm>();
    if (!plainCloud.install())
        return QStringLiteral("cannot put the plain cloud's settings back");
    httpForm = std::make_unique<CloudPaientInfoForm>();
    for (CloudPaientInfoForm* form : {httpsForm.get(), httpForm.get()}) {
        form->openStudy(ScriptedCloud::sessionId(), ScriptedCloud::studyUid());
        if (!form->isVisible())
            return QStringLiteral("the form did not show the study");
    }
    return QString();
}

void HttpsOpenFigure::timeOpen(benchmark::State& state, const std::unique_ptr<CloudPaientInfoForm>& form)
{
    if (!skipped(state, prepare()))
        OpenStudyFigure::timeOpenings(state, *form, answerer);
}

void HttpsOpenFigure::timeHandshakes(benchmark::State& state)
{
    if (skipped(state, prepare()))
        return;
    const QByteArray caFile = QFile::encodeName(authority->caFile());
    const std::string urls[] = {tlsCloud->lookupUrl(), tlsCloud->recordUrl()};
    for (auto _ : state) {
        double seconds = 0;
        for (const std::string& url : urls) {
            const double handshake = handshakeSeconds(url, caFile);
            if (handshake < 0)
                return state.SkipWithError("a bare HTTPS GET failed");
            seconds += handshake;
        }
        state.SetIterationTime(seconds);
    }
}

QStringList HttpsOpenFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({httpsKey, httpKey, handshakeKey}))
        return {};
    const double https = summary.seconds(httpsKey);
    const double http = summary.seconds(httpKey);
    const double handshakes = summary.seconds(handshakeKey);
    return {figureLine(QStringLiteral("Opening a study over HTTPS"), https / http, Goal()),
            QStringLiteral("  openStudy over HTTPS %1, over HTTP %2; the difference %3")
                .arg(durationText(https), durationText(http), durationText(https - http)),
            QStringLiteral("  TLS handshakes (two per opening, a new connection per request, CA file loaded each "
                           "time): %1, %2 of the HTTPS opening, %3 of the difference")
                .arg(durationText(handshakes), percent(handshakes, https), percent(handshakes, https - http))};
}
