#ifndef UPLOADFIGURE_H
#define UPLOADFIGURE_H

#include "benchfigure.h"

#include <QStringList>

#include <memory>

class BenchWorkspace;
class CloudService;
class QTemporaryDir;
class ServiceListener;

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
    // Writes the images, starts the service and uploads every image once, untimed.
    QString setUp() override;
    QString uploadUrl() const;
    // One upload of every file; the files sent and the seconds it took.
    using Uploader = int (UploadFigure::*)(double* seconds);
    int uploadWithClient(double* seconds);
    int uploadWithCurl(double* seconds);
    void timeUploads(benchmark::State& state, Uploader upload, const char* who);

    const BenchWorkspace& workspace;
    const int fileCount;
    // Images and the service's data live in memory where the machine allows:
    // other programs' disk traffic would otherwise decide the figure.
    std::unique_ptr<QTemporaryDir> memoryFolder;
    QString dataFolder;
    QStringList files;
    qint64 totalBytes = 0;
    std::unique_ptr<CloudService> service;
    std::unique_ptr<ServiceListener> listener;
};

#endif
