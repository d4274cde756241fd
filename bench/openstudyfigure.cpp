#include "openstudyfigure.h"

#include "benchsummary.h"
#include "cloudpaientinfoform.h"
#include "formwidget.h"
#include "messageboxanswerer.h"
#include "rawcurl.h"
#include "scriptedcloud.h"
#include "testserver.h"

#include <benchmark/benchmark.h>

#include <QLineEdit>

namespace {

const std::string openKey = "open/openStudy";
const std::string rawKey = "open/two-raw-gets";
constexpr int iterations = 200;

} // namespace

OpenStudyFigure::OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer)
    : cloud(cloud), answerer(answerer)
{
}

OpenStudyFigure::~OpenStudyFigure() = default;

void OpenStudyFigure::registerRound(int round)
{
    registerPair(
        round, iterations, openKey, [this](benchmark::State& state) { timeOpen(state); }, rawKey,
        [this](benchmark::State& state) { timeRawGets(state); });
}

QString OpenStudyFigure::setUp()
{
    form = std::make_unique<CloudPaientInfoForm>();
    form->openStudy(ScriptedCloud::sessionId(), ScriptedCloud::studyUid());
    return form->isVisible() ? QString() : QStringLiteral("the form did not show the study");
}

void OpenStudyFigure::timeOpen(benchmark::State& state)
{
    if (skipped(state, prepare()))
        return;
    const QByteArray session = ScriptedCloud::sessionId();
    const QString uid = ScriptedCloud::studyUid();
    cloud.server().clearRequests();
    for (auto _ : state)
        state.SetIterationTime(secondsOf([&] { form->openStudy(session, uid); }));

    const QLineEdit* serial = formWidget<QLineEdit>(*form, "checkIDLineEdit");
    const QStringList surprises = answerer.takeFailures();
    if (!surprises.isEmpty())
        state.SkipWithError(("unexpected box: " + surprises.join(QStringLiteral("; ")).toStdString()).c_str());
    else if (!form->isVisible() || !serial || serial->text() != ScriptedCloud::serial())
        state.SkipWithError("the form did not show the study");
}

void OpenStudyFigure::timeRawGets(benchmark::State& state)
{
    const std::string session = ScriptedCloud::sessionId().toStdString();
    const std::string lookupUrl = cloud.lookupUrl();
    const std::string recordUrl = cloud.recordUrl();
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

QStringList OpenStudyFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({openKey, rawKey}))
        return {};
    const double open = summary.seconds(openKey);
    const double raw = summary.seconds(rawKey);
    return {figureLine(QStringLiteral("Opening a study"), open / raw, {Goal::AtMost, 1.3}),
            QStringLiteral("  openStudy %1; two raw libcurl GETs of the same URLs %2; the form's own work %3")
                .arg(durationText(open), durationText(raw), durationText(open - raw))};
}
