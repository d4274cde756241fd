#ifndef UPLOADSTUDYPROGRESSFORM_H
#define UPLOADSTUDYPROGRESSFORM_H

#include <QByteArray>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class CloudClientAsyncHandler;
class HttpUploadFile;
class UpLoadTask;
class UploadFilesModel;
namespace Ui { class UploadStudyProgressForm; }

// The one window of the process that lists every upload task with its counts
// above a shared progress bar, and hands each finished task's check-number
// reply on through sCheckNum.
class Q_DECL_EXPORT UploadStudyProgressForm : public QWidget
{
    Q_OBJECT

public:
    explicit UploadStudyProgressForm(QWidget* parent = nullptr);
    ~UploadStudyProgressForm() override;

    // The single window, created hidden on first use and never deleted.
    static UploadStudyProgressForm* getInstance();

    // Starts one upload task unless some cell of the table already holds taskName.
    void addUploadTask(QStringList files, QString taskName, QByteArray extraData);

    // The number that the next study upload task gets.
    int nextStudyTaskId() const;
    // While sCheckNum goes out: the id of the task whose reply it carries. Empty
    // at any other time, and when the reply came from something else than a task.
    std::optional<int> finishedTaskId() const { return handingOn; }

signals:
    void sCheckNum(QByteArray checknum);

private slots:
    void on_selectFloders_clicked();
    void onProgress(int len, int isucess, int total, UpLoadTask* ptask);
    void onFinshUpLoad(int isucess, int total, QStringList failues, QByteArray checknum);
    void onFinshTask(UpLoadTask* ptask);

private:
    friend struct UploadStudyProgressFormTestAccess;

    void startHandler();
    void followTask(UpLoadTask* task);
    void addTaskRow(const QStringList& row);

    Ui::UploadStudyProgressForm* ui;
    UploadFilesModel* filesModel = nullptr;
    HttpUploadFile* uploadClient = nullptr;
    std::shared_ptr<CloudClientAsyncHandler> asyncHandler;
    QByteArray lastCheckNum;
    std::optional<int> handingOn;
};

#endif
