#include "uploadfigure.h"

#include "benchsummary.h"
#include "benchworkspace.h"
#include "cloudclientasynchandler.h"
#include "cloudservice.h"
#include "curlcommand.h"
#include "httpuploadfile.h"
#include "servicelistener.h"
#include "studystore.h"
#include "uploadimages.h"
#include "uploadtask.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>

namespace {

const std::string clientKey = "upload/cloud-client";
const std::string curlKey = "upload/curl";
constexpr int pixelBytes = 256 * 1024;
constexpr int timeoutMs = 10 * 60 * 1000;
constexpr int iterations = 3;

QByteArray session()
{
    return QByteArrayLiteral("bench-upload-session");
}

QString megabytesPerSecond(qint64 bytes, double seconds)
{
    return QString::number(double(bytes) / seconds / 1e6, 'f', 1) + QStringLiteral(" MB/s");
}

} // namespace

UploadFigure::UploadFigure(const BenchWorkspace& workspace, int fileCount)
    : workspace(workspace), fileCount(fileCount)
{
}

UploadFigure::~UploadFigure()
{
    // The listener answers for the service, so it goes first.
    listener.reset();
    service.reset();
}

void UploadFigure::registerRound(int round)
{
    registerPair(
        round, iterations, clientKey,
        [this](benchmark::State& state) { timeUploads(state, &UploadFigure::uploadWithClient, "the cloud client"); },
        curlKey, [this](benchmark::State& state) { timeUploads(state, &UploadFigure::uploadWithCurl, "curl"); });
}

QString UploadFigure::setUp()
{
    memoryFolder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/cloudpatient-bench-XXXXXX"));
    dataFolder = memoryFolder->isValid() ? memoryFolder->path() : workspace.folder(QStringLiteral("upload"));
    QString why;
    if (!writeUploadImages(dataFolder + QStringLiteral("/images"), fileCount, pixelBytes, &files, &why))
        return why;
    totalBytes = 0;
    for (const QString& file : files)
        totalBytes += QFileInfo(file).size();

    service = std::make_unique<CloudService>(dataFolder + QStringLiteral("/cloud"));
    if (!service->isReady())
        return service->errorString();
    if (!service->store().addSession(QString::fromLatin1(session()), QStringLiteral("demo")))
        return QStringLiteral("cannot open a session in the cloud service");
    listener = std::make_unique<ServiceListener>(*service);
    if (!listener->listen(QStringLiteral("127.0.0.1"), 0))
        return QStringLiteral("the cloud service cannot listen on 127.0.0.1");
    // The first upload of an image stores it, later ones replace it; whoever
    // went first would pay for the creation alone.
    double seconds = 0;
    if (uploadWithCurl(&seconds) != files.size())
        return QStringLiteral("curl could not upload the images; is the curl program installed?");
    return QString();
}

QString UploadFigure::uploadUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/kelva/upload/uploadImage.do").arg(listener->port());
}

int UploadFigure::uploadWithClient(double* seconds)
{
    const std::shared_ptr<CloudClientAsyncHandler> handler = HttpUploadFile::instance()->newClientAsyncHandler();
    handler->jsessionid = session();
    handler->assistUrl = uploadUrl().toUtf8();

    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    int succeeded = -1;
    *seconds = timeoutMs / 1000.0;
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<UpLoadTask> task(handler->newUpLoadTask(files));
    QObject::connect(task.get(), &UpLoadTask::finshUpLoad, &loop,
                     [&](int sent, int, const QStringList&, const QByteArray&) {
                         *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                         succeeded = sent;
                         loop.quit();
                     });
    loop.exec();
    return succeeded;
}

int UploadFigure::uploadWithCurl(double* seconds)
{
    // The cloud client ignores proxy variables, so curl must too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        environment.remove(QLatin1String(name));
    const QStringList arguments = curlUploadArguments(files, uploadUrl(), session());

    QProcess curl;
    curl.setProcessEnvironment(environment);
    *seconds = secondsOf([&] {
        curl.start(QStringLiteral("curl"), arguments);
        curl.waitForFinished(timeoutMs);
    });
    return curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0
               ? succeededUploads(curl.readAllStandardOutput())
               : -1;
}

void UploadFigure::timeUploads(benchmark::State& state, Uploader upload, const char* who)
{
    if (skipped(state, prepare()))
        return;
    int succeeded = -1;
    for (auto _ : state) {
        double seconds = 0;
        succeeded = (this->*upload)(&seconds);
        state.SetIterationTime(seconds);
    }
    if (succeeded != files.size())
        state.SkipWithError((std::string(who) + " sent " + std::to_string(succeeded) + " of "
                             + std::to_string(files.size()) + " files").c_str());
}

QStringList UploadFigure::summary(const BenchSummary& summary) const
{
    if (!summary.hasAll({clientKey, curlKey}))
        return {};
    const double client = summary.seconds(clientKey);
    const double curl = summary.seconds(curlKey);
    return {figureLine(QStringLiteral("Upload"), curl / client, {Goal::AtLeast, 1.0}),
            QStringLiteral("  %1 DICOM files, %2 MB, kept in %7: cloud client library %3 (%4); curl program %5 (%6)")
                .arg(files.size())
                .arg(QString::number(double(totalBytes) / 1e6, 'f', 1), durationText(client),
                     megabytesPerSecond(totalBytes, client), durationText(curl), megabytesPerSecond(totalBytes, curl),
                     memoryFolder->isValid() ? QStringLiteral("memory") : QStringLiteral("a folder on disk"))};
}
