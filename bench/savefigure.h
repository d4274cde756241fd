#ifndef SAVEFIGURE_H
#define SAVEFIGURE_H

#include "benchfigure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class MessageBoxAnswerer;
class CloudPaientInfoForm;
class ScriptedCloud;
class StudyDatabase;

// One save of an opened study against the loopback cloud and a SQLite study
// database, and right after it each of its steps alone, as the form's own
// functions, on the same form: the confirmation box, the body (read from the
// widgets), the backup file, the index row, the post, the dictionary refresh
// and the patient row. Whole and steps alternate in every iteration, so that
// both meet the same disk and the same load.
class SaveFigure : public BenchFigure
{
public:
    SaveFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer);
    ~SaveFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    // One run of a step: false when it did not do what the save does.
    using StepRun = bool (SaveFigure::*)();
    struct Step
    {
        std::string name;  // counter name, and the key below the save's
        QString label;
        StepRun run;
    };
    static const std::vector<Step>& steps();

    // Opens the study and saves it once, untimed.
    QString setUp() override;
    void timeSave(benchmark::State& state);

    bool askQuestion();
    bool buildBody();
    bool writeBackup();
    bool insertIndexRow();
    bool post();
    bool refreshDictionaries();
    bool updatePatientRow();

    const ScriptedCloud& cloud;
    MessageBoxAnswerer& answerer;
    std::unique_ptr<StudyDatabase> database;
    std::unique_ptr<CloudPaientInfoForm> form;
    QByteArray postedBody;  // what the form sent, byte for byte
};

#endif
