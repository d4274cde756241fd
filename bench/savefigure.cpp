#include "savefigure.h"

#include "benchsummary.h"
#include "benchworkspace.h"
#include "cloudpaientinfoform.h"
#include "cloudrequest.h"
#include "formwidget.h"
#include "messageboxanswerer.h"
#include "recordbody.h"
#include "scriptedcloud.h"
#include "studydatabase.h"
#include "zoxmessageboxform.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

namespace {

const std::string saveKey = "save";

QString saveQuestion()
{
    return QStringLiteral("Are you sure to SAVE ALL ?");
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

CloudRequest request(const QString& url)
{
    CloudRequest r;
    r.url = utf8(url);
    r.sessionId = ScriptedCloud::sessionId().toStdString();
    return r;
}

QString utf8UpToNul(const std::string& bytes)
{
    return QString::fromUtf8(bytes.c_str());
}

// As the refresh writes a dictionary file: truncated, through a text stream.
bool writeDictionaryFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << text;
    return true;
}

QString backupName()
{
    return QStringLiteral("../backup/CloudPatientCaseInfo_") + ScriptedCloud::studyUid() + QStringLiteral(".json");
}

QJsonObject recordOf(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
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
    studyKey = database->addStudy(patient, ScriptedCloud::studyUid());

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
    backupPath = QFileInfo(backupName()).absoluteFilePath();

    // The saved record's own keys and values, as the save holds them.
    const QJsonObject saved = recordOf(postedBody);
    recordKeys = saved.keys();
    recordValues.clear();
    for (const QString& key : recordKeys)
        recordValues << saved.value(key).toString();

    QFile backup(backupPath);
    const QList<QStringList> row = database->rows(
        QStringLiteral("SELECT PatientName FROM patient WHERE pk = %1").arg(patient));
    if (form->isVisible() || postedBody.isEmpty() || !backup.open(QIODevice::ReadOnly)
        || backup.readAll() != postedBody || row.isEmpty()
        || row.first().value(0) != saved.value(QStringLiteral("patientname")).toString())
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
    return zoxMessageBoxForm::question(nullptr, QStringLiteral("System Hint"), saveQuestion(), 3, 1) == 1;
}

bool SaveFigure::buildBody()
{
    const QByteArray body = buildRecordBody(postObject, recordKeys, recordValues);
    postDocument = QJsonDocument(postObject);
    return body == postedBody;
}

bool SaveFigure::writeBackup()
{
    QDir().mkdir(QStringLiteral("../backup"));
    QSaveFile backup(backupName());
    const bool written = backup.open(QIODevice::WriteOnly) && backup.write(postedBody) == postedBody.size()
                         && backup.commit();
    return written && QFileInfo(backupName()).absoluteFilePath() == backupPath;
}

bool SaveFigure::insertIndexRow()
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "INSERT INTO patientinfoindex (StudyUID,CheckSerialNum,PatientInfoPath) VALUES (:uid,:serial,:path)"));
    query.bindValue(QStringLiteral(":uid"), ScriptedCloud::studyUid());
    query.bindValue(QStringLiteral(":serial"), ScriptedCloud::serial());
    query.bindValue(QStringLiteral(":path"), backupPath);
    return query.exec();
}

bool SaveFigure::post()
{
    CloudRequest sent = request(cloud.modifyUrl());
    sent.postBody = postedBody.constData();
    return performCloudRequest(sent).completed;
}

bool SaveFigure::refreshDictionaries()
{
    const QString items = utf8UpToNul(performCloudRequest(request(cloud.checkItemUrl())).body);
    const QString places = utf8UpToNul(performCloudRequest(request(cloud.positionUrl())).body);
    return writeDictionaryFile(BenchWorkspace::checkItemFile(), items)
           && writeDictionaryFile(BenchWorkspace::positionFile(), places) && !items.isEmpty() && !places.isEmpty();
}

bool SaveFigure::updatePatientRow()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE patient SET PatientName=:name,PatientSex=:sex "
                                 "WHERE pk = (SELECT patient_fk FROM generalstudy WHERE pk = :studyKey)"));
    query.bindValue(QStringLiteral(":name"), recordValues.value(recordKeys.indexOf(QStringLiteral("patientname"))));
    query.bindValue(QStringLiteral(":sex"), recordValues.value(recordKeys.indexOf(QStringLiteral("sex"))));
    query.bindValue(QStringLiteral(":studyKey"), studyKey);
    return query.exec() && query.numRowsAffected() == 1;
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
            QStringLiteral("  rest of the save (reading the widgets, closing the form) %1")
                .arg(durationText(whole - parts))};
}
