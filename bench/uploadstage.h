#ifndef UPLOADSTAGE_H
#define UPLOADSTAGE_H

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace benchmark {
class State;
}
class BenchWorkspace;
class CloudService;
class QTemporaryDir;
class ServiceListener;

// The images of one study and the reference cloud service that takes them, in
// process, with the ways of sending the images that the upload figures compare.
class UploadStage
{
public:
    // @p fileCount images whose pixel data holds @p pixelBytes each.
    UploadStage(const BenchWorkspace& workspace, const QString& name, int fileCount, int pixelBytes);
    ~UploadStage();

    UploadStage(const UploadStage&) = delete;
    UploadStage& operator=(const UploadStage&) = delete;

    // Writes the images, starts the service and uploads every image once,
    // untimed; why it could not, or empty.
    QString setUp();

    int port() const;
    const QStringList& files() const { return images; }
    qint64 totalBytes() const { return bytes; }
    // "memory" or "a folder on disk": where the images and the service's data are kept.
    QString kept() const;

    // One upload of every image to the service at 127.0.0.1:@p port (its own or a relay's):
    // the files sent and the seconds it took.
    int uploadWithClient(int port, double* seconds) const;
    // One upload of @p files to @p url by the cloud client library with its defaults.
    static int uploadWithClient(const QStringList& files, const QString& url, double* seconds);
    // The same with the curl program, @p parallel transfers at once (1: --next over one connection).
    int uploadWithCurl(int port, int parallel, double* seconds) const;

    // Times @p upload once per iteration of @p state; an error when it did not send every image.
    using Upload = std::function<int(double* seconds)>;
    void time(benchmark::State& state, const Upload& upload, const char* who) const;

private:
    const BenchWorkspace& workspace;
    const QString name;
    const int fileCount;
    const int pixelBytes;
    // Images and the service's data live in memory where the machine allows:
    // other programs' disk traffic would otherwise decide the figures.
    std::unique_ptr<QTemporaryDir> memoryFolder;
    QStringList images;
    qint64 bytes = 0;
    std::unique_ptr<CloudService> service;
    std::unique_ptr<ServiceListener> listener;
};

#endif
