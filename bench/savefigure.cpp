#include "savefigure.h"

#include "backupfilename.h"
#include "benchsummary.h"
#include "benchworkspace.h"
#include "cloudpaientinfoform.h"
#include "formaccess.h"
#include "formwidget.h"
#include "messageboxanswerer.h"
#include "scriptedcloud.h"
#include "studydatabase.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>

namespace {

using Access = CloudPaientInfoFormTestAccess;

const std::string saveKey = "save";

QString saveQuestion()
{
    return QStringLiteral("Are you sure to SAVE ALL ?");
}

} // namespace

SaveFigure::SaveFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer) : cloud(cloud), answerer(answerer)
{
    answerer.expectAlways(saveQuestion());
}

SaveFigure::~SaveFigure() = default;

const std::vector<SaveFigure::Step>& SaveFigure::steps()
{
    static const std::vector<Step> all{
        {"question", QStringLiteral("confirmation box"), &SaveFigure::askQuestion},
        {"body", QStringLiteral("body"), &SaveFigure::buildBody},
        {"backup", QStringLiteral("backup file"), &SaveFigure::writeBackup},
        {"index-row", QStringLiteral("index row"), &SaveFigure::insertIndexRow},
        {"post", QStringLiteral("post"), &SaveFigure::post},
        {"refresh", QStringLiteral("dictionary refresh"), &SaveFigure::refreshDictionaries},
        {"patient-row", QStringLiteral("patient row"), &SaveFigure::updatePatientRow},
    };
    return all;
}

void SaveFigure::registerRound(int round)
{
    registerCase(saveKey, round, [this](benchmark::State& state) { timeSave(state); })->Iterations(30);
}

QString SaveFigure::setUp()
{
    database = std::make_unique<StudyDatabase>();
    if (!database->isOpen())
        return QStringLiteral("cannot open the study database");
    const qint64 patient = database->addPatient(QStringLiteral("Before^Save"), QStringLiteral("F"));
    const qint64 studyKey = database->addStudy(patient, ScriptedCloud::studyUid());

    form = std::make_unique<CloudPaientInfoForm>();
    form->setStudyKey(studyKey);
    form->openStudy(ScriptedCloud::sessionId(), ScriptedCloud::studyUid());
    if (!form->isVisible())
        return QStringLiteral("the form did not show the study");
    QPushButton* enter = formWidget<QPushButton>(*form, "enterPushButton");
    if (!enter)
        return QStringLiteral("the form has no enterPushButton");
    // The first save also makes the confirmation box's first window.
    enter->click();
    postedBody = cloud.lastPostedBody();

    QFile backup(QStringLiteral("../backup/") + backupFileName(ScriptedCloud::studyUid()));
    const QList<QStringList> row = database->rows(
        QStringLiteral("SELECT PatientName FROM patient WHERE pk = %1").arg(patient));
    const QString savedName = QJsonDocument::fromJson(postedBody).object().value(QStringLiteral("patientname")).toString();
    if (form->isVisible() || postedBody.isEmpty() || !backup.open(QIODevice::ReadOnly)
        || backup.readAll() != postedBody || row.isEmpty() || row.first().value(0) != savedName)
        return QStringLiteral("the first save did not go through");
    return QString();
}

void SaveFigure::timeSave(benchmark::State& state)
{
    if (skipped(state, prepare()))
        return;
    QPushButton* enter = formWidget<QPushButton>(*form, "enterPushButton");
    const int answeredBefore = answerer.answered();
    const size_t postsBefore = cloud.modifyCount();
    std::vector<double> stepSeconds(steps().size());
    bool closed = true;
    QString failedStep;
    for (auto _ : state) {
        // Shown and painted, as the operator sees it before clicking.
        form->show();
        QCoreApplication::processEvents();
        state.SetIterationTime(secondsOf([&] { enter->click(); }));
        closed = closed && !form->isVisible();
        for (size_t i = 0; i < steps().size(); ++i) {
            bool done = false;
            stepSeconds[i] += secondsOf([&] { done = (this->*steps()[i].run)(); });
            if (!done && failedStep.isEmpty())
                failedStep = steps()[i].label;
        }
    }
    for (size_t i = 0; i < steps().size(); ++i)
        state.counters[steps()[i].name] = benchmark::Counter(stepSeconds[i], benchmark::Counter::kAvgIterations);

    // Every save and every confirmation box of a step was answered and posted.
    const auto saves = int(state.iterations());
    const QStringList surprises = answerer.takeFailures();
    if (!surprises.isEmpty())
        state.SkipWithError(("unexpected box: " + surprises.join(QStringLiteral("; ")).toStdString()).c_str());
    else if (!failedStep.isEmpty())
        state.SkipWithError(("the step \"" + failedStep.toStdString() + "\" failed").c_str());
    else if (!closed || answerer.answered() - answeredBefore != 2 * saves
             || cloud.modifyCount() - postsBefore != size_t(2 * saves))
        state.SkipWithError("a save did not go through");
}

bool SaveFigure::askQuestion()
{
    return Access::confirmSave(*form);
}

bool SaveFigure::buildBody()
{
    Access::buildPostBody(*form);
    return Access::postBody(*form) == postedBody;
}

bool SaveFigure::writeBackup()
{
    return Access::writeBackupFile(*form);
}

bool SaveFigure::insertIndexRow()
{
    return Access::insertIndexRow(*form);
}

bool SaveFigure::post()
{
    return Access::post(*form);
}

bool SaveFigure::refreshDictionaries()
{
    return Access::refreshDictionaries(*form);
}

bool SaveFigure::updatePatientRow()
{
    return Access::updatePatientRow(*form);
}

QStringList SaveFigure::summary(const BenchSummary& summary) const
{
    std::vector<std::string> keys{saveKey};
    for (const Step& step : steps())
        keys.push_back(saveKey + '/' + step.name);
    if (!summary.hasAll(keys))
        return {};

    const double whole = summary.seconds(saveKey);
    double parts = 0;
    QStringList shares;
    for (const Step& step : steps()) {
        const double seconds = summary.seconds(saveKey + '/' + step.name);
        parts += seconds;
        shares << QStringLiteral("%1 %2 (%3%)").arg(step.label, durationText(seconds),
                                                   QString::number(100 * seconds / whole, 'f', 0));
    }
    return {figureLine(QStringLiteral("Saving"), whole / parts, {}),
            QStringLiteral("  one save %1, against its steps timed one by one right after it").arg(durationText(whole)),
            QStringLiteral("  steps: ") + shares.join(QStringLiteral(", ")),
            QStringLiteral("  rest of the save (the symptom check, closing the form) %1")
                .arg(durationText(whole - parts))};
}
