#ifndef WANUPLOADFIGURE_H
#define WANUPLOADFIGURE_H

#include "benchfigure.h"
#include "uploadstage.h"

#include <memory>
#include <string>

class BenchWorkspace;
class WanRelay;

// The cloud client library uploading a study's images to the cloud service
// across a simulated wide area link (20 ms round trip, 200 Mbit/s), against
// the link's own floor and the curl program sending the same files over one
// connection and over four at once; and the library again at a 50 ms round trip.
class WanUploadFigure : public BenchFigure
{
public:
    WanUploadFigure(const BenchWorkspace& workspace, int fileCount);
    ~WanUploadFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    QString setUp() override;
    // Times @p upload through @p relay, filing the bytes it put on the link as the counter "wire".
    void timeThrough(benchmark::State& state, const std::unique_ptr<WanRelay>& relay, const UploadStage::Upload& upload,
                     const char* who);
    // Seconds that the bytes the library put on @p relay's link need at its rate, plus one round trip.
    double floorSeconds(const BenchSummary& summary, const std::string& key, const WanRelay& relay) const;

    UploadStage stage;
    std::unique_ptr<WanRelay> near;  // 20 ms
    std::unique_ptr<WanRelay> far;   // 50 ms
};

#endif
