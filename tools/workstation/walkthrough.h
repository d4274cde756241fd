#ifndef WALKTHROUGH_H
#define WALKTHROUGH_H

#include "cloudaccount.h"
#include "localdatabase.h"
#include "recordcheck.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class MessageBoxAnswerer;
class QWidget;
class StudyHost;
struct WorkstationOptions;

// The scripted session that shows the plug-in at work without an operator:
// open a study the cloud knows; open one it does not know, accept the upload
// and follow it; edit and save a record and check where the save went; open a
// study again after the save. It prints each step, writes screenshots and a
// summary (walkthrough.json) to its folder, and fails a step with the reason
// as soon as something differs. Every wait is bounded.
class Walkthrough
{
public:
    Walkthrough(LocalDatabase& database, StudyHost& host, const WorkstationOptions& options);
    ~Walkthrough();

    Walkthrough(const Walkthrough&) = delete;
    Walkthrough& operator=(const Walkthrough&) = delete;

    // 0 when every step passed, 1 otherwise.
    int run();

private:
    bool prepare();
    bool openKnownStudy();
    bool uploadUnknownStudy();
    bool editAndSave();
    bool reopenAfterSave();

    // A new form for the study, once it shows; null when it does not.
    QWidget* openShownStudy(const LocalStudy& study);
    bool runStep(const QString& title, bool (Walkthrough::*step)());
    bool fail(const QString& reason);
    bool boxesAsExpected();
    bool waitUntil(const std::function<bool()>& done);
    bool screenshot(QWidget* widget, const QString& name);
    void followProgress();
    void onProgressRow(const QStringList& row);
    void writeSummary(bool passed);

    LocalDatabase& db;
    StudyHost& host;
    QString cloudUrl;
    CloudAccount cloud;
    QString user;
    QString password;
    QString outDir;
    int waitMs;

    std::unique_ptr<MessageBoxAnswerer> answerer;
    QString failure;
    int stepNumber = 0;  // 0: the set-up

    QByteArray checkItemJson;
    QByteArray positionJson;
    QVector<DictionaryEntry> checkItems;
    QVector<DictionaryEntry> positions;
    LocalStudy known;
    QString knownSerial;
    LocalStudy unknown;
    QString uploadedSerial;
    QPointer<QWidget> uploadedForm;
    QPointer<QWidget> progressWindow;
    bool progressFollowed = false;
    QMetaObject::Connection progressConnection;
    bool progressShot = false;
    bool progressFinished = false;
    QStringList lastProgressRow;
    RecordValues saved;
    QJsonObject summary;
    QStringList screenshots;
};

#endif
