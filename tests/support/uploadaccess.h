#ifndef UPLOADACCESS_H
#define UPLOADACCESS_H

#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"
#include "uploadfilesmodel.h"
#include "uploadstudyprogressform.h"
#include "uploadtask.h"

#include <QList>
#include <QPointer>
#include <QTest>

#include <memory>

// An upload handler that remembers the tasks it makes, so that a test can
// follow and drive them.
class RecordingHandler : public CloudClientAsyncHandler
{
public:
    UpLoadTask* newUpLoadTask(QStringList files) override
    {
        UpLoadTask* task = CloudClientAsyncHandler::newUpLoadTask(files);
        tasks.append(task);
        return task;
    }
    QList<QPointer<UpLoadTask>> tasks;
};

// Reaches the upload window's handler and rows.
struct UploadStudyProgressFormTestAccess
{
    // Gives @p form a recording handler, as its first study upload would a real one.
    static std::shared_ptr<RecordingHandler> record(UploadStudyProgressForm& form)
    {
        auto handler = std::make_shared<RecordingHandler>();
        form.uploadClient = HttpUploadFile::instance();
        form.asyncHandler = handler;
        return handler;
    }
    // Null until the form has set up its handler on the client's singleton.
    static const CloudClientAsyncHandler* handler(const UploadStudyProgressForm& form)
    {
        return form.uploadClient == HttpUploadFile::instance() ? form.asyncHandler.get() : nullptr;
    }
    static QVector<QStringList> rows(const UploadStudyProgressForm& form) { return form.filesModel->getAllData(); }
    // Uploads @p files as a study of @p patient through a recording handler of
    // @p form; the task's row once the form has deleted the task.
    static QStringList upload(UploadStudyProgressForm& form, const QStringList& files, const QString& patient)
    {
        const auto handler = record(form);
        form.addUploadTask(files, patient, QByteArray());
        const QPointer<UpLoadTask> task = handler->tasks.value(0);
        if (!task || !QTest::qWaitFor([&task] { return task.isNull(); }, 20000))
            return {QStringLiteral("the task did not end")};
        return rows(form).constLast();
    }
};

#endif
