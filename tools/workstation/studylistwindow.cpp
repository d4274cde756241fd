#include "studylistwindow.h"

#include "cloudaccount.h"
#include "localdatabase.h"
#include "studyhost.h"
#include "studyimport.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>

namespace {

enum Column { Name, PatientId, Sex, StudyDate, Description, Modalities, Images, StudyUid, ColumnCount };

} // namespace

StudyListWindow::StudyListWindow(LocalDatabase& database, StudyHost& studyHost, CloudAccount& account,
                                 const QString& userName, const QString& userPassword, QWidget* parent)
    : QMainWindow(parent),
      db(database),
      host(studyHost),
      cloud(account),
      user(userName),
      password(userPassword),
      model(new QStandardItemModel(0, ColumnCount, this)),
      table(new QTableView(this))
{
    setWindowTitle(tr("Workstation"));
    model->setHorizontalHeaderLabels({tr("Patient"), tr("Patient ID"), tr("Sex"), tr("Study date"),
                                      tr("Description"), tr("Modality"), tr("Images"), tr("Study instance UID")});
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    setCentralWidget(table);
    connect(table, &QTableView::activated, this, &StudyListWindow::openSelectedStudy);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Import Folder..."), this, &StudyListWindow::importFolder, QKeySequence(tr("Ctrl+I")));
    file->addAction(tr("&Refresh"), this, &StudyListWindow::refresh, QKeySequence::Refresh);
    file->addSeparator();
    file->addAction(tr("&Quit"), qApp, &QApplication::closeAllWindows, QKeySequence::Quit);
    QMenu* study = menuBar()->addMenu(tr("&Study"));
    study->addAction(tr("&Open Study Information"), this, &StudyListWindow::openSelectedStudy,
                     QKeySequence(tr("Ctrl+O")));

    resize(900, 420);
    refresh();
}

StudyListWindow::~StudyListWindow() = default;

void StudyListWindow::refresh()
{
    model->removeRows(0, model->rowCount());
    for (const LocalStudy& study : db.studies()) {
        QList<QStandardItem*> row;
        for (const QString& text : {study.patientName, study.patientId, study.patientSex,
                                    displayDateTime(study.studyDate, study.studyTime), study.description,
                                    study.modalities, QString::number(study.imageCount), study.studyUid})
            row.append(new QStandardItem(text));
        row.first()->setData(study.pk, Qt::UserRole);
        model->appendRow(row);
    }
    table->resizeColumnsToContents();
    if (model->rowCount() > 0 && !table->currentIndex().isValid())
        table->selectRow(0);
    statusBar()->showMessage(tr("%n studies", nullptr, model->rowCount()));
}

void StudyListWindow::importFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Import DICOM Folder"));
    if (folder.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ImportSummary summary = ::importFolder(folder, db);
    QApplication::restoreOverrideCursor();
    refresh();
    if (!summary.error.isEmpty())
        QMessageBox::warning(this, tr("Import"), summary.error);
    else
        statusBar()->showMessage(tr("Imported %1: %2").arg(folder, describeImport(summary)));
}

std::optional<LocalStudy> StudyListWindow::selectedStudy() const
{
    const QModelIndex current = table->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    const qint64 pk = model->item(current.row(), Name)->data(Qt::UserRole).toLongLong();
    for (const LocalStudy& study : db.studies()) {
        if (study.pk == pk)
            return study;
    }
    return std::nullopt;
}

bool StudyListWindow::ensureLoggedIn()
{
    if (!loggedIn) {
        loggedIn = cloud.login(user, password);
        if (!loggedIn)
            QMessageBox::warning(this, tr("Cloud"), tr("Cannot log in to the cloud: %1").arg(cloud.errorString()));
    }
    return loggedIn;
}

void StudyListWindow::openSelectedStudy()
{
    const std::optional<LocalStudy> study = selectedStudy();
    if (!study || !ensureLoggedIn())
        return;
    // Every open form would also take the record of the next finished upload,
    // so one form at a time: the new study replaces the previous one.
    if (currentForm)
        host.deleteForm(currentForm);
    currentForm = host.openStudy(*study, cloud.sessionId());
    if (!currentForm)
        QMessageBox::warning(this, tr("Study"), host.error());
    else
        statusBar()->showMessage(tr("Opened %1").arg(study->patientName));
}

QString displayDateTime(const QString& dicomDate, const QString& dicomTime)
{
    QString date = dicomDate;
    if (date.size() == 8)
        date = date.left(4) + QLatin1Char('-') + date.mid(4, 2) + QLatin1Char('-') + date.mid(6, 2);
    QString time = dicomTime.section(QLatin1Char('.'), 0, 0);
    time.remove(QLatin1Char(':'));
    if (time.size() >= 4)
        time = time.left(2) + QLatin1Char(':') + time.mid(2, 2);
    return (date + QLatin1Char(' ') + time).trimmed();
}
