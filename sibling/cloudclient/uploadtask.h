#ifndef UPLOADTASK_H
#define UPLOADTASK_H

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CloudClientAsyncHandler;

/**
 * One asynchronous upload of a list of files, one HTTP POST per file, on a
 * worker thread of its own. Files go over up to
 * HttpUploadFile::getUploadConnections() kept-alive connections at once; a
 * file whose try fails for a transient reason (reset or closed before a whole
 * reply, a stall, 408, 429, 5xx) is tried again up to
 * HttpUploadFile::getUploadRetries() times after a growing pause; once a file
 * has used up its tries with nobody taking the connection, the rest fail at
 * once. Both, and the stall bound, are read as the task is created. Signals
 * are emitted from the worker thread; connect them with the automatic
 * connection type to receivers on the GUI thread.
 *
 * Deleting the task (on the thread that created it, as deleteLater does) or quitting the
 * application aborts a running upload within about a second; an aborted task
 * emits nothing more. When HttpUploadFile::getRequestTimeout() is above 0, a
 * try whose connection takes that many seconds, or whose transfer moves less
 * than a byte a second for that long, fails. A task nobody numbers reports a
 * negative id of its own, distinct from every other task's.
 */
class Q_DECL_EXPORT UpLoadTask : public QObject
{
    Q_OBJECT

public:
    /// Copies @p handler's settings; the upload starts when control returns to the event loop.
    /// Set the id and name before that.
    UpLoadTask(const CloudClientAsyncHandler& handler, QStringList files);
    ~UpLoadTask() override;

    virtual void setTaskId(int id);
    virtual void setTaskName(QString name);
    virtual QString getTaskName() const;
    virtual int getTaskId() const;

signals:
    /// As each file settles (sent, or failed after its last try): files handled so far, files sent
    /// successfully so far, files in all.
    void progress(int handled, int succeeded, int total, UpLoadTask* task);
    /// Once at the end: the failed files in the task's order and the reply of the upload that
    /// succeeded last, "{}" when none did.
    void finshUpLoad(int succeeded, int total, QStringList failedFiles, QByteArray checknum);
    /// Last signal; the receiver deletes the task with deleteLater().
    void finshTask(UpLoadTask* task);

private:
    void start();
    void run();
    void stop();
    template <typename Emit>
    bool report(Emit emitSignal);

    struct Private;
    std::unique_ptr<Private> d;
};

Q_DECLARE_METATYPE(UpLoadTask*)

#endif
