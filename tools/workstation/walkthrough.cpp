#include "walkthrough.h"

#include "console.h"
#include "formfiles.h"
#include "messageboxanswerer.h"
#include "studyhost.h"
#include "workstationoptions.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

namespace {

const char notInCloud[] =
    "The information did not exist in Cloud, you have to upload the images to edit the information!";
const char saveQuestion[] = "Are you sure to SAVE ALL ?";

// What the walk-through types into the form.
const char editedSymptom[] = "咳嗽、低热三天，夜间加重";
const char editedResult[] = "血常规：白细胞 11.2 x10^9/L";
const char editedDiagnosis[] = "社区获得性肺炎（待排）";

// A widget of the form by its object name, the form's published contract.
template <typename T>
T* part(QWidget* form, const char* name)
{
    return form ? form->findChild<T*>(QLatin1String(name)) : nullptr;
}

QString idOf(const QVector<DictionaryEntry>& entries, const QString& name)
{
    for (const DictionaryEntry& entry : entries) {
        if (entry.name == name)
            return entry.id;
    }
    return QString();
}

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

QWidget* topLevelNamed(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name)
            return widget;
    }
    return nullptr;
}

QStringList modelRow(const QAbstractItemModel* model, int row)
{
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells.append(model->index(row, column).data().toString());
    return cells;
}

QJsonObject toJson(const RecordValues& values)
{
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QString describe(const LocalStudy& study)
{
    return QStringLiteral("%1 (%2, %3 images)").arg(study.patientName, study.studyUid).arg(study.imageCount);
}

} // namespace

Walkthrough::Walkthrough(LocalDatabase& database, StudyHost& studyHost, const WorkstationOptions& options)
    : db(database),
      host(studyHost),
      cloudUrl(options.cloudUrl),
      cloud(options.cloudUrl, options.waitSeconds, options.caFile),
      user(options.user),
      password(options.password),
      outDir(QDir(options.walkthroughDir).absolutePath()),
      waitMs(options.waitSeconds * 1000)
{
}

Walkthrough::~Walkthrough()
{
    // The upload window outlives the walk-through.
    QObject::disconnect(progressConnection);
}

int Walkthrough::run()
{
    if (!QDir().mkpath(outDir)) {
        printError(QStringLiteral("cannot create %1").arg(outDir));
        return 1;
    }
    answerer = std::make_unique<MessageBoxAnswerer>();
    summary.insert(QStringLiteral("cloud"), cloudUrl);
    const bool passed = runStep(QStringLiteral("log in and find a known and an unknown study"), &Walkthrough::prepare)
        && runStep(QStringLiteral("open a study the cloud knows"), &Walkthrough::openKnownStudy)
        && runStep(QStringLiteral("open a study the cloud does not know, upload it"),
                   &Walkthrough::uploadUnknownStudy)
        && runStep(QStringLiteral("edit the record and save it"), &Walkthrough::editAndSave)
        && runStep(QStringLiteral("open the saved study again"), &Walkthrough::reopenAfterSave);
    writeSummary(passed);
    printLine(passed ? QStringLiteral("walk-through passed; screenshots in %1").arg(outDir)
                     : QStringLiteral("walk-through FAILED at step %1: %2").arg(stepNumber).arg(failure));
    return passed ? 0 : 1;
}

bool Walkthrough::runStep(const QString& title, bool (Walkthrough::*step)())
{
    printLine(QStringLiteral("step %1: %2").arg(stepNumber).arg(title));
    const bool passed = (this->*step)() && boxesAsExpected();
    printLine(passed ? QStringLiteral("step %1 passed").arg(stepNumber)
                     : QStringLiteral("step %1 FAILED: %2").arg(stepNumber).arg(failure));
    if (passed)
        ++stepNumber;
    return passed;
}

bool Walkthrough::fail(const QString& reason)
{
    if (failure.isEmpty())
        failure = reason;
    return false;
}

bool Walkthrough::boxesAsExpected()
{
    if (!answerer->failures().isEmpty())
        return fail(QStringLiteral("message boxes: ") + answerer->failures().join(QStringLiteral("; ")));
    if (answerer->pending() > 0)
        return fail(QStringLiteral("a message box that should have come did not"));
    return failure.isEmpty();
}

bool Walkthrough::waitUntil(const std::function<bool()>& done)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

bool Walkthrough::screenshot(QWidget* widget, const QString& name)
{
    const QString path = QDir(outDir).filePath(name);
    if (!widget || !widget->grab().save(path, "PNG"))
        return fail(QStringLiteral("cannot write the screenshot %1").arg(path));
    screenshots.append(name);
    printLine(QStringLiteral("  screenshot %1").arg(path));
    return true;
}

bool Walkthrough::prepare()
{
    if (!cloud.login(user, password))
        return fail(cloud.errorString());
    printLine(QStringLiteral("  logged in as %1").arg(user));

    const std::optional<QByteArray> checkItemText = cloud.checkItemDictionary();
    const std::optional<QByteArray> positionText = cloud.positionDictionary();
    if (!checkItemText || !positionText)
        return fail(cloud.errorString());
    checkItemJson = *checkItemText;
    positionJson = *positionText;
    const auto itemEntries =
        dictionaryEntries(checkItemJson, QStringLiteral("checkitemid"), QStringLiteral("checkitem"));
    const auto positionEntries =
        dictionaryEntries(positionJson, QStringLiteral("positiontypeid"), QStringLiteral("positiontypename"));
    if (!itemEntries || !positionEntries || itemEntries->isEmpty() || positionEntries->isEmpty())
        return fail(QStringLiteral("the cloud's dictionaries are not usable lists"));
    checkItems = *itemEntries;
    positions = *positionEntries;

    const QVector<LocalStudy> studies = db.studies();
    if (studies.isEmpty())
        return fail(QStringLiteral("the local database holds no study; import one with --import"));
    bool haveKnown = false, haveUnknown = false;
    for (const LocalStudy& study : studies) {
        const std::optional<QString> serial = cloud.serialOf(study.studyUid);
        if (!serial)
            return fail(cloud.errorString());
        printLine(QStringLiteral("  %1: %2").arg(describe(study),
                                                 serial->isEmpty() ? QStringLiteral("not in the cloud") : *serial));
        if (!serial->isEmpty() && !haveKnown) {
            known = study;
            knownSerial = *serial;
            haveKnown = true;
        } else if (serial->isEmpty() && !haveUnknown && study.imageCount > 0) {
            unknown = study;
            haveUnknown = true;
        }
    }
    if (!haveKnown)
        return fail(QStringLiteral("no local study is known to the cloud"));
    if (!haveUnknown)
        return fail(QStringLiteral("every local study with images is known to the cloud already"));
    return true;
}

QWidget* Walkthrough::openShownStudy(const LocalStudy& study)
{
    printLine(QStringLiteral("  opening %1").arg(describe(study)));
    QWidget* form = host.openStudy(study, cloud.sessionId());
    if (!form) {
        fail(host.error());
        return nullptr;
    }
    if (!waitUntil([form] { return form->isVisible(); })) {
        fail(QStringLiteral("the form did not show"));
        return nullptr;
    }
    return form;
}

bool Walkthrough::openKnownStudy()
{
    QWidget* form = openShownStudy(known);
    if (!form)
        return false;
    const std::optional<QJsonObject> record = cloud.studyRecord(knownSerial);
    if (!record)
        return fail(cloud.errorString());
    auto* serial = part<QLineEdit>(form, "checkIDLineEdit");
    auto* name = part<QLineEdit>(form, "patientNameLineEdit");
    if (!serial || !name)
        return fail(QStringLiteral("the form lacks checkIDLineEdit or patientNameLineEdit"));
    if (serial->text() != knownSerial)
        return fail(QStringLiteral("checkIDLineEdit shows \"%1\", the cloud says %2").arg(serial->text(), knownSerial));
    const QString cloudName = record->value(QStringLiteral("patientname")).toString();
    if (name->text() != cloudName)
        return fail(QStringLiteral("the form shows the patient \"%1\", the cloud \"%2\"").arg(name->text(), cloudName));
    printLine(QStringLiteral("  form shown: serial %1, patient %2").arg(serial->text(), name->text()));
    summary.insert(QStringLiteral("known"), QJsonObject{{QStringLiteral("studyuid"), known.studyUid},
                                                        {QStringLiteral("serial"), knownSerial},
                                                        {QStringLiteral("patientname"), name->text()}});
    if (!screenshot(form, QStringLiteral("1-known-study.png")))
        return false;
    // A form stays connected to the upload window and would load the record of
    // every later upload as well; the host is done with this one.
    host.deleteForm(form);
    return true;
}

void Walkthrough::followProgress()
{
    progressWindow = topLevelNamed(QStringLiteral("UploadStudyProgressForm"));
    auto* table = part<QTableView>(progressWindow, "tableView");
    if (!table || !table->model() || progressFollowed)
        return;
    progressFollowed = true;
    progressConnection = QObject::connect(
        table->model(), &QAbstractItemModel::dataChanged, progressWindow,
        [this](const QModelIndex& topLeft) { onProgressRow(modelRow(topLeft.model(), topLeft.row())); });
}

void Walkthrough::onProgressRow(const QStringList& row)
{
    // Columns: task number, patient name, files, sent, failed.
    if (row.size() < 5 || row.at(1) != unknown.patientName || progressFinished)
        return;
    lastProgressRow = row;
    const int total = row.at(2).toInt(), sent = row.at(3).toInt(), failed = row.at(4).toInt();
    printLine(QStringLiteral("  upload: %1 of %2 sent, %3 failed").arg(sent).arg(total).arg(failed));
    // Half-way, or at the first report of a one-file study.
    if (!progressShot && (2 * (sent + failed) >= total || total <= 1)) {
        progressShot = true;
        screenshot(progressWindow, QStringLiteral("2-upload-progress.png"));
    }
    if (sent + failed >= total) {
        progressFinished = true;
        screenshot(progressWindow, QStringLiteral("3-upload-finished.png"));
    }
}

bool Walkthrough::uploadUnknownStudy()
{
    printLine(QStringLiteral("  opening %1").arg(describe(unknown)));
    answerer->expect(QLatin1String(notInCloud), MessageBoxAnswerer::Accept);
    QWidget* form = host.openStudy(unknown, cloud.sessionId());
    if (!form)
        return fail(host.error());
    uploadedForm = form;
    if (!boxesAsExpected())
        return false;
    printLine(QStringLiteral("  answered OK to \"%1\"").arg(QLatin1String(notInCloud)));
    // The upload's task reports only once control is back in the event loop.
    followProgress();
    if (!progressWindow || !progressFollowed)
        return fail(QStringLiteral("no upload window \"UploadStudyProgressForm\" with a table"));
    if (!progressWindow->isVisible())
        return fail(QStringLiteral("the upload window is not shown"));

    auto* serial = part<QLineEdit>(form, "checkIDLineEdit");
    if (!serial)
        return fail(QStringLiteral("the form lacks checkIDLineEdit"));
    // The record may show as soon as the cloud knows the study, before the
    // last file; the finished upload hands its serial number on again.
    if (!waitUntil([this] { return progressFinished; }) || !progressShot)
        return fail(QStringLiteral("the upload window did not show the upload under way and finished within %1 s")
                        .arg(waitMs / 1000));
    if (!waitUntil([&] { return !uploadedForm || (uploadedForm->isVisible() && !serial->text().isEmpty()); })
        || !uploadedForm)
        return fail(QStringLiteral("the form did not show the uploaded study within %1 s").arg(waitMs / 1000));

    const QStringList files = db.imagePaths(unknown.pk);
    if (lastProgressRow.value(2).toInt() != files.size() || lastProgressRow.value(3).toInt() != files.size())
        return fail(QStringLiteral("the upload row says %1 of %2 sent, the study has %3 files")
                        .arg(lastProgressRow.value(3), lastProgressRow.value(2))
                        .arg(files.size()));
    const std::optional<QString> registered = cloud.serialOf(unknown.studyUid);
    if (!registered || registered->isEmpty())
        return fail(QStringLiteral("the cloud still does not know the uploaded study"));
    if (serial->text() != *registered)
        return fail(QStringLiteral("checkIDLineEdit shows \"%1\", the cloud says %2").arg(serial->text(), *registered));
    uploadedSerial = *registered;
    printLine(QStringLiteral("  %1 files sent; the cloud registered the study as %2; the form shows it")
                  .arg(files.size())
                  .arg(uploadedSerial));
    summary.insert(QStringLiteral("uploaded"), QJsonObject{{QStringLiteral("studyuid"), unknown.studyUid},
                                                           {QStringLiteral("serial"), uploadedSerial},
                                                           {QStringLiteral("files"), files.size()}});
    return screenshot(form, QStringLiteral("4-uploaded-study.png"));
}

bool Walkthrough::editAndSave()
{
    QWidget* form = uploadedForm;
    auto* symptom = part<QTextEdit>(form, "symptomTextEdit");
    auto* result = part<QTextEdit>(form, "checkResultTextEdit");
    auto* diagnosis = part<QTextEdit>(form, "diagnoseTextEdit");
    auto* item = part<QComboBox>(form, "checkItemComboBox");
    auto* position = part<QComboBox>(form, "studyPositionComboBox");
    auto* enter = part<QPushButton>(form, "enterPushButton");
    auto* name = part<QLineEdit>(form, "patientNameLineEdit");
    auto* sex = part<QComboBox>(form, "sexComboBox");
    auto* age = part<QComboBox>(form, "ageComboBox");
    auto* ageUnit = part<QComboBox>(form, "ageUnitComboBox");
    auto* time = part<QDateTimeEdit>(form, "checkDateTimeEdit");
    auto* serial = part<QLineEdit>(form, "checkIDLineEdit");
    if (!symptom || !result || !diagnosis || !item || !position || !enter || !name || !sex || !age || !ageUnit
        || !time || !serial)
        return fail(QStringLiteral("the form lacks one of the widgets the edit needs"));
    if (item->count() == 0 || position->count() == 0)
        return fail(QStringLiteral("the form offers no examination items or body positions"));

    // The next entry of each list, so that the saved ids differ from before.
    item->setCurrentIndex((item->currentIndex() + 1) % item->count());
    position->setCurrentIndex((position->currentIndex() + 1) % position->count());
    symptom->setPlainText(QString::fromUtf8(editedSymptom));
    result->setPlainText(QString::fromUtf8(editedResult));
    diagnosis->setPlainText(QString::fromUtf8(editedDiagnosis));

    saved = RecordValues{
        {QStringLiteral("patientname"), name->text()},
        {QStringLiteral("sex"), sex->currentText()},
        {QStringLiteral("age"), age->currentText()},
        {QStringLiteral("ageunit"), ageUnit->currentText()},
        {QStringLiteral("studytime"), time->text()},
        {QStringLiteral("studypositionid"), idOf(positions, position->currentText())},
        {QStringLiteral("checkitemid"), idOf(checkItems, item->currentText())},
        {QStringLiteral("abstracthistory"), symptom->toPlainText()},
        {QStringLiteral("relevantresult"), result->toPlainText()},
        {QStringLiteral("prediagnose"), diagnosis->toPlainText()},
        {QStringLiteral("checkserialnum"), serial->text()},
    };
    printLine(QStringLiteral("  typed symptoms \"%1\", diagnosis \"%2\"; chose %3 / %4")
                  .arg(symptom->toPlainText(), diagnosis->toPlainText(), item->currentText(),
                       position->currentText()));
    if (!screenshot(form, QStringLiteral("5-edited.png")))
        return false;

    answerer->expect(QLatin1String(saveQuestion), MessageBoxAnswerer::Accept);
    enter->click();
    if (!boxesAsExpected())
        return false;
    if (!waitUntil([&] { return !uploadedForm || !uploadedForm->isVisible(); }))
        return fail(QStringLiteral("the form stayed open after the save"));
    printLine(QStringLiteral("  answered OK to \"%1\"; the form closed").arg(QLatin1String(saveQuestion)));

    const std::optional<QJsonObject> record = cloud.studyRecord(uploadedSerial);
    if (!record)
        return fail(cloud.errorString());
    QStringList differences = recordDifferences(*record, saved);
    if (!differences.isEmpty())
        return fail(QStringLiteral("the cloud's record differs: ") + differences.join(QStringLiteral("; ")));
    printLine(QStringLiteral("  the cloud's record %1 holds the edit").arg(uploadedSerial));

    const QString backupPath = QDir::cleanPath(QDir::current().absoluteFilePath(
        QStringLiteral("../backup/CloudPatientCaseInfo_") + unknown.studyUid + QStringLiteral(".json")));
    QFile backup(backupPath);
    if (!backup.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("no backup file %1").arg(backupPath));
    differences = recordDifferences(QJsonDocument::fromJson(backup.readAll()).object(), saved);
    if (!differences.isEmpty())
        return fail(QStringLiteral("the backup file differs: ") + differences.join(QStringLiteral("; ")));
    printLine(QStringLiteral("  backup file %1 holds the edit").arg(backupPath));

    const QVector<IndexRow> index = db.indexRows(unknown.studyUid);
    if (index.isEmpty())
        return fail(QStringLiteral("no patientinfoindex row for %1").arg(unknown.studyUid));
    if (index.last().checkSerialNum != uploadedSerial
        || QDir::cleanPath(index.last().patientInfoPath) != backupPath)
        return fail(QStringLiteral("the patientinfoindex row names %1 and %2")
                        .arg(index.last().checkSerialNum, index.last().patientInfoPath));
    printLine(QStringLiteral("  patientinfoindex: %1 -> %2").arg(index.last().checkSerialNum,
                                                               index.last().patientInfoPath));

    const std::optional<PatientRow> patient = db.patientOfStudy(unknown.pk);
    if (!patient)
        return fail(QStringLiteral("no patient row for the study"));
    if (patient->name != saved.value(QStringLiteral("patientname")) || patient->sex != saved.value(QStringLiteral("sex")))
        return fail(QStringLiteral("the patient row holds \"%1\", \"%2\"").arg(patient->name, patient->sex));
    printLine(QStringLiteral("  patient row %1: %2, %3").arg(patient->pk).arg(patient->name, patient->sex));

    // The form rewrote its dictionaries in the locale's encoding, GBK here.
    for (const auto& file : {std::make_pair(FormFiles::checkItemFile(), &checkItemJson),
                             std::make_pair(FormFiles::positionFile(), &positionJson)}) {
        QFile dictionary(file.first);
        if (!dictionary.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(dictionary.fileName()));
        if (dictionary.readAll() != FormFiles::gbk(QString::fromUtf8(*file.second)))
            return fail(QStringLiteral("%1 is not the cloud's dictionary in GBK").arg(dictionary.fileName()));
    }
    printLine(QStringLiteral("  dictionary files rewritten in GBK"));

    summary.insert(QStringLiteral("edited"), QJsonObject{{QStringLiteral("studyuid"), unknown.studyUid},
                                                         {QStringLiteral("serial"), uploadedSerial},
                                                         {QStringLiteral("backup"), backupPath},
                                                         {QStringLiteral("values"), toJson(saved)}});
    host.deleteForm(form);
    return true;
}

bool Walkthrough::reopenAfterSave()
{
    // The save rewrote the dictionary files; a new form reads them back and
    // must still name the saved ids in Chinese.
    QWidget* form = openShownStudy(unknown);
    if (!form)
        return false;
    auto* item = part<QComboBox>(form, "checkItemComboBox");
    auto* position = part<QComboBox>(form, "studyPositionComboBox");
    auto* symptom = part<QTextEdit>(form, "symptomTextEdit");
    if (!item || !position || !symptom)
        return fail(QStringLiteral("the form lacks its dictionary boxes or symptomTextEdit"));
    if (items(item) != dictionaryNames(checkItems) || items(position) != dictionaryNames(positions))
        return fail(QStringLiteral("the form offers %1 / %2, the cloud %3 / %4")
                        .arg(items(item).join(QLatin1Char(',')), items(position).join(QLatin1Char(',')),
                             dictionaryNames(checkItems).join(QLatin1Char(',')),
                             dictionaryNames(positions).join(QLatin1Char(','))));
    const QString itemId = idOf(checkItems, item->currentText());
    const QString positionId = idOf(positions, position->currentText());
    if (itemId != saved.value(QStringLiteral("checkitemid"))
        || positionId != saved.value(QStringLiteral("studypositionid")))
        return fail(QStringLiteral("the form shows %1 / %2, not what was saved")
                        .arg(item->currentText(), position->currentText()));
    if (symptom->toPlainText() != saved.value(QStringLiteral("abstracthistory")))
        return fail(QStringLiteral("the form shows the symptoms \"%1\"").arg(symptom->toPlainText()));
    printLine(QStringLiteral("  the new form offers %1 items and %2 positions by name and shows the saved %3 / %4")
                  .arg(item->count())
                  .arg(position->count())
                  .arg(item->currentText(), position->currentText()));
    return screenshot(form, QStringLiteral("6-after-save.png"));
}

void Walkthrough::writeSummary(bool passed)
{
    summary.insert(QStringLiteral("passed"), passed);
    summary.insert(QStringLiteral("screenshots"), QJsonArray::fromStringList(screenshots));
    if (!passed)
        summary.insert(QStringLiteral("failure"), failure);
    QFile file(QDir(outDir).filePath(QStringLiteral("walkthrough.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(QJsonDocument(summary).toJson()) < 0)
        printError(QStringLiteral("cannot write %1").arg(file.fileName()));
}
