#include "openstudyfigure.h"

#include "benchsummary.h"
#include "cloudpaientinfoform.h"
#include "formwidget.h"
#include "messageboxanswerer.h"
#include "rawcurl.h"
#include "scriptedcloud.h"
#include "testserver.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>

namespace {

// Each opening across the link takes two round trips per request, a new connection's handshake included.
constexpr int loopbackIterations = 200;
constexpr int wanIterations = 10;

double roundTripMs(const WanLink& link)
{
    return 2 * std::chrono::duration<double, std::milli>(link.oneWayDelay).count();
}

} // namespace

OpenStudyFigure::OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer)
    : cloud(cloud), answerer(answerer), openKey("open/openStudy"), rawKey("open/two-raw-gets")
{
}

OpenStudyFigure::OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer, const WanLink& link)
    : cloud(cloud)
    , answerer(answerer)
    , link(link)
    , openKey("open-wan/openStudy")
    , rawKey("open-wan/two-raw-gets")
{
}

OpenStudyFigure::~OpenStudyFigure() = default;

void OpenStudyFigure::registerRound(int round)
{
    registerPair(
        round, link ? wanIterations : loopbackIterations, openKey, [this](benchmark::State& state) { timeOpen(state); },
        rawKey, [this](benchmark::State& state) { timeRawGets(state); });
}

QString OpenStudyFigure::setUp()
{
    if (!link) {
        form = std::make_unique<CloudPaientInfoForm>();
    } else {
        relay = std::make_unique<WanRelay>(cloud.server().port(), *link);
        std::string why;
        if (!relay->isListening(&why))
            return QString::fromStdString(why);
        // The form reads its endpoints as it is made; the other figures keep theirs.
        const std::string base = cloud.server().url().toStdString();
        if (!cloud.install(QString(), QString::fromStdString(reached(base))))
            return QStringLiteral("cannot point the form's settings at the relay");
        form = std::make_unique<CloudPaientInfoForm>();
        if (!cloud.install())
            return QStringLiteral("cannot put the form's settings back");
    }
    form->openStudy(ScriptedCloud::sessionId(), ScriptedCloud::studyUid());
    return form->isVisible() ? QString() : QStringLiteral("the form did not show the study");
}

void OpenStudyFigure::timeOpen(benchmark::State& state)
{
    if (skipped(state, prepare()))
        return;
    cloud.server().clearRequests();
    timeOpenings(state, *form, answerer);
}

void OpenStudyFigure::timeOpenings(benchmark::State& state, CloudPaientInfoForm& form, MessageBoxAnswerer& answerer)
{
    const QByteArray session = ScriptedCloud::sessionId();
    const QString uid = ScriptedCloud::studyUid();
    for (auto _ : state)
        state.SetIterationTime(secondsOf([&] { form.openStudy(session, uid); }));

    const QLineEdit* serial = formWidget<QLineEdit>(form, "checkIDLineEdit");
    const QStringList surprises = answerer.takeFailures();
    if (!surprises.isEmpty())
        state.SkipWithError(("unexpected box: " + surprises.join(QStringLiteral("; ")).toStdString()).c_str());
    else if (!form.isVisible() || !serial || serial->text() != ScriptedCloud::serial())
        state.SkipWithError("the form did not show the study");
}

void OpenStudyFigure::timeRawGets(benchmark::State& state)
{
    const std::string session = ScriptedCloud::sessionId().toStdString();
    const std::string lookupUrl = reached(cloud.lookupUrl());
    const std::string recordUrl = reached(cloud.recordUrl());
    std::string lookup;
    std::string record;
    cloud.server().clearRequests();
    for (auto _ : state) {
        state.SetIterationTime(secondsOf([&] {
            lookup = rawCurlGet(lookupUrl, session);
            record = rawCurlGet(recordUrl, session);
        }));
    }
    if (lookup.find(ScriptedCloud::serial().toStdString()) == std::string::npos || record.empty())
        state.SkipWithError("the raw GETs did not get the study");
}

std::string OpenStudyFigure::reached(const std::string& url) const
{
    const std::string base = cloud.server().url().toStdString();
    if (!relay || url.compare(0, base.size(), base) != 0)
        return url;
    return "http://127.0.0.1:" + std::to_string(relay->port()) + url.substr(base.size());
}

QStringList OpenStudyFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({openKey, rawKey}))
        return {};
    const double open = summary.seconds(openKey);
    const double raw = summary.seconds(rawKey);
    const QString times = QStringLiteral("openStudy %1; two raw libcurl GETs of the same URLs %2; the form's own work %3")
                              .arg(durationText(open), durationText(raw), durationText(open - raw));
    if (!link)
        return {figureLine(QStringLiteral("Opening a study"), open / raw, {Goal::AtMost, 1.3}), "  " + times};
    return {figureLine(QStringLiteral("Opening a study over a WAN"), open / raw, {Goal::AtMost, 1.05}),
            QStringLiteral("  %1 ms round trip: ").arg(roundTripMs(*link)) + times};
}
