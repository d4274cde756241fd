#ifndef UPLOADFIGURE_H
#define UPLOADFIGURE_H

#include "benchfigure.h"
#include "uploadstage.h"

class BenchWorkspace;

// The cloud client library uploading a study's images to the cloud service,
// against the curl program sending the same files over one connection.
class UploadFigure : public BenchFigure
{
public:
    UploadFigure(const BenchWorkspace& workspace, int fileCount);
    ~UploadFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    QString setUp() override;
    void timeUploads(benchmark::State& state, const UploadStage::Upload& upload, const char* who);

    UploadStage stage;
};

#endif
