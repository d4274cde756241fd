#include "uploadtask.h"

#include "cloudclientasynchandler.h"
#include "curluploader.h"
#include "httpuploadfile.h"
#include "multiuploader.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

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
        : settings(handler, HttpUploadFile::instance()->getRequestTimeout(), HttpUploadFile::instance()->getCaFile())
        , policy{HttpUploadFile::instance()->getUploadConnections(), HttpUploadFile::instance()->getUploadRetries()}
        , files(std::move(files))
    {
    }

    const UploadSettings settings;
    const UploadPolicy policy;
    const QStringList files;
    std::atomic<int> taskId{nextUnnumberedId()};
    mutable std::mutex nameMutex;
    QString taskName;

    // Held while a signal goes out, so that once abort is set under it no
    // further signal can carry a pointer to a task being destroyed.
    std::mutex emitMutex;
    std::atomic<bool> abort{false};
    std::unique_ptr<MultiUploader> uploader;
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
        d->uploader = std::make_unique<MultiUploader>(d->settings, d->policy);
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
    if (d->uploader)
        d->uploader->interrupt();
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
    std::vector<int> failed;
    // What the lookup says of a study the cloud does not know.
    QByteArray lastReply("{}");
    const auto settle = [&](int index, QByteArray* reply) {
        ++handled;
        if (reply) {
            ++succeeded;
            lastReply = std::move(*reply);
        } else {
            failed.push_back(index);
        }
        return report([&] { emit progress(handled, succeeded, total, this); });
    };
    if (d->uploader) {
        if (!d->uploader->run(d->files, settle))
            return;
    } else {
        for (int index = 0; index < total; ++index) {
            if (!settle(index, nullptr))
                return;
        }
    }
    // Files settle in any order; the list keeps the task's.
    std::sort(failed.begin(), failed.end());
    QStringList failedFiles;
    for (int index : failed)
        failedFiles << d->files.at(index);
    if (report([&] { emit finshUpLoad(succeeded, total, failedFiles, lastReply); }))
        report([&] { emit finshTask(this); });
}
