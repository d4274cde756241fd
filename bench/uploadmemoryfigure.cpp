#include "uploadmemoryfigure.h"

#include "benchsummary.h"
#include "benchworkspace.h"
#include "uploadsink.h"
#include "uploadstage.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const std::string clientKey = "upload-memory/cloud-client";
const std::string growthCounter = "growth";
constexpr int fileBytes = 512 * 1024;
constexpr double mebibyte = 1024 * 1024;

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when unknown.
qint64 statusBytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Makes the kernel's peak resident size start again from the current one.
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace

UploadMemoryFigure::UploadMemoryFigure(const BenchWorkspace& workspace, int fileCount)
    : workspace(workspace), fileCount(fileCount)
{
}

UploadMemoryFigure::~UploadMemoryFigure() = default;

void UploadMemoryFigure::registerRound(int round)
{
    registerCase(clientKey, round, [this](benchmark::State& state) { timeUpload(state); })->Iterations(1);
}

QString UploadMemoryFigure::setUp()
{
    memoryFolder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/cloudpatient-bench-XXXXXX"));
    const QDir folder(memoryFolder->isValid() ? memoryFolder->path() : workspace.folder(QStringLiteral("memory")));
    const QByteArray content(fileBytes, 'm');
    for (int i = 0; i < fileCount; ++i) {
        QFile file(folder.filePath(QStringLiteral("image%1.dcm").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QStringLiteral("cannot write %1").arg(file.fileName());
        files << file.fileName();
    }
    totalBytes = qint64(fileCount) * fileBytes;
    sink = std::make_unique<UploadSink>();
    if (!sink->isListening())
        return QStringLiteral("the upload sink cannot listen on 127.0.0.1");
    if (statusBytes("VmHWM") < 0 || !resetPeak())
        return QStringLiteral("this kernel does not report or reset the peak resident size");
    return QString();
}

void UploadMemoryFigure::timeUpload(benchmark::State& state)
{
    if (skipped(state, prepare()))
        return;
    int sent = -1;
    double growth = 0;
    for (auto _ : state) {
        const qint64 before = statusBytes("VmRSS");
        resetPeak();
        double seconds = 0;
        sent = UploadStage::uploadWithClient(files, sink->url(), &seconds);
        growth = double(statusBytes("VmHWM") - before);
        state.SetIterationTime(seconds);
    }
    if (sent != files.size())
        state.SkipWithError(("the cloud client sent " + std::to_string(sent) + " of " + std::to_string(files.size())
                             + " files").c_str());
    state.counters[growthCounter] = benchmark::Counter(growth, benchmark::Counter::kAvgIterations);
}

QStringList UploadMemoryFigure::summary(const BenchSummary& summary) const
{
    const std::string growthKey = clientKey + '/' + growthCounter;
    if (!summary.hasAll({clientKey, growthKey}))
        return {};
    const double growth = summary.seconds(growthKey);
    return {figureLine(QStringLiteral("Upload memory"), growth / double(totalBytes), {Goal::Under, 1.0 / 16}),
            QStringLiteral("  %1 files of 512 KiB, %2 MiB, kept in %3: the resident size grew by %4 MiB at most "
                           "while the cloud client library sent them in %5 (goal under 64 MiB for 1 GiB)")
                .arg(files.size())
                .arg(QString::number(double(totalBytes) / mebibyte, 'f', 0),
                     memoryFolder->isValid() ? QStringLiteral("memory") : QStringLiteral("a folder on disk"),
                     QString::number(growth / mebibyte, 'f', 1), durationText(summary.seconds(clientKey)))};
}
