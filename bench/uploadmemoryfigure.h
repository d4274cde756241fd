#ifndef UPLOADMEMORYFIGURE_H
#define UPLOADMEMORYFIGURE_H

#include "benchfigure.h"

#include <QStringList>

#include <memory>

class BenchWorkspace;
class QTemporaryDir;
class UploadSink;

// How much the process's resident size grows while the cloud client library
// uploads a large study, against the study's size: files must stream from
// disk, never sit whole in memory.
class UploadMemoryFigure : public BenchFigure
{
public:
    UploadMemoryFigure(const BenchWorkspace& workspace, int fileCount);
    ~UploadMemoryFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    QString setUp() override;
    void timeUpload(benchmark::State& state);

    const BenchWorkspace& workspace;
    const int fileCount;
    std::unique_ptr<QTemporaryDir> memoryFolder;
    QStringList files;
    qint64 totalBytes = 0;
    std::unique_ptr<UploadSink> sink;
};

#endif
