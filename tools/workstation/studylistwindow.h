#ifndef STUDYLISTWINDOW_H
#define STUDYLISTWINDOW_H

#include <QMainWindow>
#include <QPointer>

#include <optional>

class CloudAccount;
class LocalDatabase;
class QStandardItemModel;
class QTableView;
class StudyHost;
struct LocalStudy;

// The workstation's main window: the local studies in a table, a menu to
// import a folder of DICOM files, and the study form for the selected study.
class StudyListWindow : public QMainWindow
{
    Q_OBJECT

public:
    StudyListWindow(LocalDatabase& database, StudyHost& host, CloudAccount& cloud, const QString& user,
                    const QString& password, QWidget* parent = nullptr);
    ~StudyListWindow() override;

public slots:
    void refresh();

private slots:
    void importFolder();
    void openSelectedStudy();

private:
    std::optional<LocalStudy> selectedStudy() const;
    bool ensureLoggedIn();

    LocalDatabase& db;
    StudyHost& host;
    CloudAccount& cloud;
    QString user;
    QString password;
    bool loggedIn = false;
    QStandardItemModel* model;
    QTableView* table;
    QPointer<QWidget> currentForm;
};

// "2024-01-15 09:30" from DICOM "20240115" and "093000.00"; what is there of
// either when the other is missing or odd.
QString displayDateTime(const QString& dicomDate, const QString& dicomTime);

#endif
