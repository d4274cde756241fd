#include "uploadstudyprogressform.h"
#include "ui_uploadstudyprogressform.h"

#include "cloudclientasynchandler.h"
#include "httpuploadfile.h"
#include "uploadfilesmodel.h"
#include "uploadinput.h"
#include "uploadtask.h"

#include <QFileDialog>

namespace {

// Both live for the whole process; plain types so that loading the library
// runs no constructor.
UploadStudyProgressForm* theInstance = nullptr;
// Study uploads are numbered 0, 1, 2... in the order they start; folder
// uploads take no number.
int nextTaskId = 0;

QStringList columnTitles()
{
    return {QStringLiteral("病人id"), QStringLiteral("病人姓名"), QStringLiteral(" 图像数"),
            QStringLiteral(" 成功图片数"), QStringLiteral(" 失败图片数")};
}

} // namespace

UploadStudyProgressForm::UploadStudyProgressForm(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::UploadStudyProgressForm)
{
    // Tasks report from their worker threads; queued delivery needs the type.
    qRegisterMetaType<UpLoadTask*>("UpLoadTask*");

    ui->setupUi(this);
    setWindowFlags(Qt::WindowStaysOnTopHint);
    ui->selectFloders->hide();

    const QStringList titles = columnTitles();
    filesModel = new UploadFilesModel(titles, nullptr);
    filesModel->setHeads(titles);
    ui->tableView->setModel(filesModel);
    ui->tableView->resizeColumnsToContents();
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
}

UploadStudyProgressForm::~UploadStudyProgressForm()
{
    // The widgets outlive this body (QWidget deletes its children later), so
    // the view lets go of the model before the model goes.
    ui->tableView->setModel(nullptr);
    delete ui;
    asyncHandler.reset();
    delete filesModel;
}

UploadStudyProgressForm* UploadStudyProgressForm::getInstance()
{
    if (!theInstance) {
        theInstance = new UploadStudyProgressForm(nullptr);
        theInstance->setWindowFlags(Qt::WindowStaysOnTopHint);
    }
    return theInstance;
}

void UploadStudyProgressForm::addUploadTask(QStringList files, QString taskName, QByteArray extraData)
{
    // A name already in the table means this study was sent before.
    if (tableHoldsText(filesModel->getAllData(), taskName))
        return;

    if (!uploadClient) {
        startHandler();
        show();
    }
    writeHandlerSettings(*asyncHandler, *uploadClient, extraData);

    UpLoadTask* task = asyncHandler->newUpLoadTask(files);
    task->setTaskId(nextTaskId);
    task->setTaskName(taskName);
    followTask(task);
    addTaskRow({QString::number(task->getTaskId()), taskName, QString::number(files.size()),
                QStringLiteral("0"), QStringLiteral("0")});
    ++nextTaskId;
}

int UploadStudyProgressForm::nextStudyTaskId() const
{
    return nextTaskId;
}

void UploadStudyProgressForm::on_selectFloders_clicked()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.selectedFiles().value(0);
    const QStringList entries = folderEntries(path);
    if (entries.isEmpty())
        return;

    // Normally a study upload has set the handler up; without one, set it up
    // the same way so that the folder still goes to the configured endpoint.
    if (!uploadClient) {
        startHandler();
        writeHandlerSettings(*asyncHandler, *uploadClient, QByteArray());
    }
    UpLoadTask* task = asyncHandler->newUpLoadTask(entries);
    followTask(task);
    addTaskRow({QString::number(task->getTaskId()), folderNameOf(path), QString::number(entries.size())});
}

void UploadStudyProgressForm::onProgress(int len, int isucess, int total, UpLoadTask* ptask)
{
    if (len == 1) {
        ui->progressBar->setMinimum(1);
        ui->progressBar->setMaximum(total);
    }
    ui->progressBar->setValue(len);
    if (!ptask)
        return;
    filesModel->updateRow({QString::number(ptask->getTaskId()), ptask->getTaskName(),
                           QString::number(total), QString::number(isucess),
                           QString::number(qint64(len) - isucess)});
}

void UploadStudyProgressForm::onFinshUpLoad(int isucess, int total, QStringList failues, QByteArray checknum)
{
    Q_UNUSED(total)
    Q_UNUSED(failues)
    ui->progressBar->setValue(isucess);
    lastCheckNum = checknum;
    // Queued deliveries keep their sender; the task is deleted only after its finshTask.
    const auto* task = qobject_cast<const UpLoadTask*>(sender());
    const std::optional<int> outer = handingOn;
    handingOn = task ? std::optional<int>(task->getTaskId()) : std::nullopt;
    emit sCheckNum(lastCheckNum);
    handingOn = outer;
}

void UploadStudyProgressForm::onFinshTask(UpLoadTask* ptask)
{
    if (ptask)
        ptask->deleteLater();
}

void UploadStudyProgressForm::startHandler()
{
    uploadClient = HttpUploadFile::instance();
    asyncHandler = uploadClient->newClientAsyncHandler();
}

void UploadStudyProgressForm::followTask(UpLoadTask* task)
{
    connect(task, &UpLoadTask::progress, this, &UploadStudyProgressForm::onProgress, Qt::AutoConnection);
    connect(task, &UpLoadTask::finshUpLoad, this, &UploadStudyProgressForm::onFinshUpLoad,
            Qt::AutoConnection);
    connect(task, &UpLoadTask::finshTask, this, &UploadStudyProgressForm::onFinshTask, Qt::AutoConnection);
}

void UploadStudyProgressForm::addTaskRow(const QStringList& row)
{
    filesModel->addRow(row);
    // Re-attaching the model makes the view take the new row in at once.
    ui->tableView->setModel(nullptr);
    ui->tableView->setModel(filesModel);
    ui->tableView->viewport()->update();
}
