#include "uploadfigure.h"

#include "benchsummary.h"

#include <benchmark/benchmark.h>

namespace {

const std::string clientKey = "upload/cloud-client";
const std::string curlKey = "upload/curl";
constexpr int pixelBytes = 256 * 1024;
constexpr int iterations = 3;

QString megabytesPerSecond(qint64 bytes, double seconds)
{
    return QString::number(double(bytes) / seconds / 1e6, 'f', 1) + QStringLiteral(" MB/s");
}

} // namespace

UploadFigure::UploadFigure(const BenchWorkspace& workspace, int fileCount)
    : stage(workspace, QStringLiteral("upload"), fileCount, pixelBytes)
{
}

UploadFigure::~UploadFigure() = default;

void UploadFigure::registerRound(int round)
{
    registerPair(
        round, iterations, clientKey,
        [this](benchmark::State& state) {
            timeUploads(state, [this](double* s) { return stage.uploadWithClient(stage.port(), s); }, "the cloud client");
        },
        curlKey,
        [this](benchmark::State& state) {
            timeUploads(state, [this](double* s) { return stage.uploadWithCurl(stage.port(), 1, s); }, "curl");
        });
}

QString UploadFigure::setUp()
{
    return stage.setUp();
}

void UploadFigure::timeUploads(benchmark::State& state, const UploadStage::Upload& upload, const char* who)
{
    if (!skipped(state, prepare()))
        stage.time(state, upload, who);
}

QStringList UploadFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({clientKey, curlKey}))
        return {};
    const double client = summary.seconds(clientKey);
    const double curl = summary.seconds(curlKey);
    const qint64 totalBytes = stage.totalBytes();
    return {figureLine(QStringLiteral("Upload"), curl / client, {Goal::AtLeast, 1.0}),
            QStringLiteral("  %1 DICOM files, %2 MB, kept in %7: cloud client library %3 (%4); curl program %5 (%6)")
                .arg(stage.files().size())
                .arg(QString::number(double(totalBytes) / 1e6, 'f', 1), durationText(client),
                     megabytesPerSecond(totalBytes, client), durationText(curl), megabytesPerSecond(totalBytes, curl),
                     stage.kept())};
}
