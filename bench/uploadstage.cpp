#include "uploadstage.h"

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

constexpr int timeoutMs = 10 * 60 * 1000;

QByteArray session()
{
    return QByteArrayLiteral("bench-upload-session");
}

QString uploadUrl(int port)
{
    return QStringLiteral("http://127.0.0.1:%1/kelva/upload/uploadImage.do").arg(port);
}

} // namespace

UploadStage::UploadStage(const BenchWorkspace& workspace, const QString& name, int fileCount, int pixelBytes)
    : workspace(workspace), name(name), fileCount(fileCount), pixelBytes(pixelBytes)
{
}

UploadStage::~UploadStage()
{
    // The listener answers for the service, so it goes first.
    listener.reset();
    service.reset();
}

QString UploadStage::setUp()
{
    memoryFolder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/cloudpatient-bench-XXXXXX"));
    const QString folder = memoryFolder->isValid() ? memoryFolder->path() : workspace.folder(name);
    QString why;
    if (!writeUploadImages(folder + QStringLiteral("/images"), fileCount, pixelBytes, &images, &why))
        return why;
    bytes = 0;
    for (const QString& file : images)
        bytes += QFileInfo(file).size();

    service = std::make_unique<CloudService>(folder + QStringLiteral("/cloud"));
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
    if (uploadWithCurl(port(), 1, &seconds) != images.size())
        return QStringLiteral("curl could not upload the images; is the curl program installed?");
    return QString();
}

int UploadStage::port() const
{
    return listener->port();
}

QString UploadStage::kept() const
{
    return memoryFolder->isValid() ? QStringLiteral("memory") : QStringLiteral("a folder on disk");
}

int UploadStage::uploadWithClient(int port, double* seconds) const
{
    return uploadWithClient(images, uploadUrl(port), seconds);
}

int UploadStage::uploadWithClient(const QStringList& files, const QString& url, double* seconds)
{
    const std::shared_ptr<CloudClientAsyncHandler> handler = HttpUploadFile::instance()->newClientAsyncHandler();
    handler->jsessionid = session();
    handler->assistUrl = url.toUtf8();

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

int UploadStage::uploadWithCurl(int port, int parallel, double* seconds) const
{
    // The cloud client ignores proxy variables, so curl must too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        environment.remove(QLatin1String(variable));
    const QStringList arguments = curlUploadArguments(images, uploadUrl(port), session(), parallel);

    QProcess curl;
    curl.setProcessEnvironment(environment);
    const auto start = std::chrono::steady_clock::now();
    curl.start(QStringLiteral("curl"), arguments);
    curl.waitForFinished(timeoutMs);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0
               ? succeededUploads(curl.readAllStandardOutput())
               : -1;
}

void UploadStage::time(benchmark::State& state, const Upload& upload, const char* who) const
{
    int succeeded = -1;
    for (auto _ : state) {
        double seconds = 0;
        succeeded = upload(&seconds);
        state.SetIterationTime(seconds);
    }
    if (succeeded != images.size())
        state.SkipWithError((std::string(who) + " sent " + std::to_string(succeeded) + " of "
                             + std::to_string(images.size()) + " files").c_str());
}
