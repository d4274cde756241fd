#include "wanuploadfigure.h"

#include "benchsummary.h"
#include "wanrelay.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

const std::string clientKey = "wan-upload/cloud-client";
const std::string nextKey = "wan-upload/curl-next";
const std::string parallelKey = "wan-upload/curl-parallel";
const std::string farKey = "wan-upload/cloud-client-50ms";
const std::string wire = "/wire";
constexpr int pixelBytes = 512 * 1024;
constexpr double bitsPerSecond = 200e6;

WanLink linkWithRoundTrip(int milliseconds)
{
    WanLink link;
    link.oneWayDelay = std::chrono::microseconds(milliseconds * 500);
    link.bitsPerSecond = bitsPerSecond;
    return link;
}

double roundTripSeconds(const WanRelay& relay)
{
    return 2 * std::chrono::duration<double>(relay.link().oneWayDelay).count();
}

} // namespace

WanUploadFigure::WanUploadFigure(const BenchWorkspace& workspace, int fileCount)
    : stage(workspace, QStringLiteral("wan-upload"), fileCount, pixelBytes)
{
}

WanUploadFigure::~WanUploadFigure() = default;

void WanUploadFigure::registerRound(int round)
{
    std::vector<std::pair<std::string, Case>> cases{
        {clientKey,
         [this](benchmark::State& state) {
             timeThrough(state, near, [this](double* s) { return stage.uploadWithClient(near->port(), s); },
                         "the cloud client");
         }},
        {nextKey,
         [this](benchmark::State& state) {
             timeThrough(state, near, [this](double* s) { return stage.uploadWithCurl(near->port(), 1, s); },
                         "curl --next");
         }},
        {parallelKey,
         [this](benchmark::State& state) {
             timeThrough(state, near, [this](double* s) { return stage.uploadWithCurl(near->port(), 4, s); },
                         "curl -Z");
         }},
        {farKey, [this](benchmark::State& state) {
             timeThrough(state, far, [this](double* s) { return stage.uploadWithClient(far->port(), s); },
                         "the cloud client");
         }}};
    // Every other round backwards, so that a drifting load favours none.
    if (round % 2 == 0)
        std::reverse(cases.begin(), cases.end());
    for (auto& [key, body] : cases)
        registerCase(key, round, std::move(body))->Iterations(1);
}

QString WanUploadFigure::setUp()
{
    const QString why = stage.setUp();
    if (!why.isEmpty())
        return why;
    near = std::make_unique<WanRelay>(stage.port(), linkWithRoundTrip(20));
    far = std::make_unique<WanRelay>(stage.port(), linkWithRoundTrip(50));
    std::string failure;
    if (!near->isListening(&failure) || !far->isListening(&failure))
        return QString::fromStdString(failure);
    return QString();
}

void WanUploadFigure::timeThrough(benchmark::State& state, const std::unique_ptr<WanRelay>& relay,
                                  const UploadStage::Upload& upload, const char* who)
{
    if (skipped(state, prepare()))
        return;
    const std::int64_t before = relay->bytesRelayed(WanRelay::Upstream);
    stage.time(state, upload, who);
    state.counters[wire.substr(1)] = benchmark::Counter(double(relay->bytesRelayed(WanRelay::Upstream) - before),
                                                        benchmark::Counter::kAvgIterations);
}

double WanUploadFigure::floorSeconds(const BenchSummary& summary, const std::string& key, const WanRelay& relay) const
{
    return summary.seconds(key + wire) * 8 / relay.link().bitsPerSecond + roundTripSeconds(relay);
}

QStringList WanUploadFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({clientKey, nextKey, parallelKey, farKey}) || !near)
        return {};
    const double client = summary.seconds(clientKey);
    const double next = summary.seconds(nextKey);
    const double parallel = summary.seconds(parallelKey);
    const double floor = floorSeconds(summary, clientKey, *near);
    const double farClient = summary.seconds(farKey);
    const double farFloor = floorSeconds(summary, farKey, *far);
    return {figureLine(QStringLiteral("Upload over a WAN"), client / floor, {Goal::AtMost, 1.15}),
            QStringLiteral("  %1 DICOM files, %2 MB, kept in %3; 20 ms round trip, 200 Mbit/s: cloud client library %4; "
                           "the floor %5 (%6 MB on the wire at 200 Mbit/s and one round trip)")
                .arg(stage.files().size())
                .arg(QString::number(double(stage.totalBytes()) / 1e6, 'f', 1), stage.kept(), durationText(client),
                     durationText(floor), QString::number(summary.seconds(clientKey + wire) / 1e6, 'f', 1)),
            figureLine(QStringLiteral("  curl --next over one connection %1, against the library").arg(durationText(next)),
                       next / client, {Goal::AtLeast, 2.0}),
            figureLine(QStringLiteral("  curl -Z --parallel-max 4 %1, against the library").arg(durationText(parallel)),
                       parallel / client, {Goal::AtLeast, 1.0}),
            figureLine(QStringLiteral("  at 50 ms round trip: cloud client library %1, the floor %2, against the floor")
                           .arg(durationText(farClient), durationText(farFloor)),
                       farClient / farFloor, {})};
}
