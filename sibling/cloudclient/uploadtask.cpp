#include "uploadtask.h"

#include "cloudclientasynchandler.h"
#include "curluploader.h"
#include "httpuploadfile.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

int nextUnnumberedId()
{
    static std::atomic<int> unnumbered{0};
    return -(++unnumbered);
}

void registerTaskMetaType()
{
    static const int id = qRegisterMetaType<UpLoadTask*>("UpLoadTask*");
    Q_UNUSED(id)
}

} // namespace

struct UpLoadTask::Private
{
    Private(const CloudClientAsyncHandler& handler, QStringList files)
        : settings(handler, HttpUploadFile::instance()->getRequestTimeout())
        , files(std::move(files))
    {
    }

    const UploadSettings settings;
    const QStringList files;
    std::atomic<int> taskId{nextUnnumberedId()};
    mutable std::mutex nameMutex;
    QString taskName;

    // Held while a signal goes out, so that once abort is set under it no
    // further signal can carry a pointer to a task being destroyed.
    std::mutex emitMutex;
    std::atomic<bool> abort{false};
    std::unique_ptr<CurlUploader> uploader;
    std::thread worker;
};

UpLoadTask::UpLoadTask(const CloudClientAsyncHandler& handler, QStringList files)
    : d(std::make_unique<Private>(handler, std::move(files)))
{
    registerTaskMetaType();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        // A worker still running while the process tears down would outlive what it uses.
        connect(app, &QCoreApplication::aboutToQuit, this, &UpLoadTask::stop);
    }
    QTimer::singleShot(0, this, &UpLoadTask::start);
}

UpLoadTask::~UpLoadTask()
{
    stop();
}

void UpLoadTask::setTaskId(int id)
{
    d->taskId = id;
}

void UpLoadTask::setTaskName(QString name)
{
    std::lock_guard<std::mutex> lock(d->nameMutex);
    d->taskName = std::move(name);
}

QString UpLoadTask::getTaskName() const
{
    std::lock_guard<std::mutex> lock(d->nameMutex);
    return d->taskName;
}

int UpLoadTask::getTaskId() const
{
    return d->taskId;
}

void UpLoadTask::start()
{
    if (d->abort)
        return;
    // Handles are made here, on the owner's thread: libcurl's lazy global set-up
    // must not race with other threads.
    if (!d->files.isEmpty())
        d->uploader = std::make_unique<CurlUploader>(d->settings, d->abort);
    try {
        d->worker = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: report every file as failed from here.
        d->uploader.reset();
        run();
    }
}

void UpLoadTask::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->emitMutex);
        d->abort = true;
    }
    if (d->worker.joinable())
        d->worker.join();
}

template <typename Emit>
bool UpLoadTask::report(Emit emitSignal)
{
    std::lock_guard<std::mutex> lock(d->emitMutex);
    if (d->abort)
        return false;
    emitSignal();
    return true;
}

void UpLoadTask::run()
{
    const int total = d->files.size();
    int handled = 0;
    int succeeded = 0;
    QStringList failedFiles;
    QByteArray lastReply;
    for (const QString& path : d->files) {
        std::optional<QByteArray> reply;
        if (d->uploader)
            reply = d->uploader->upload(path);
        ++handled;
        if (reply) {
            ++succeeded;
            lastReply = std::move(*reply);
        } else {
            failedFiles << path;
        }
        if (!report([&] { emit progress(handled, succeeded, total, this); }))
            return;
    }
    if (report([&] { emit finshUpLoad(succeeded, total, failedFiles, succeeded > 0 ? lastReply : QByteArray("{}")); }))
        report([&] { emit finshTask(this); });
    // The handle goes on this thread, where it was last used.
    d->uploader.reset();
}
