#ifndef OPENSTUDYFIGURE_H
#define OPENSTUDYFIGURE_H

#include "benchfigure.h"

#include <memory>

class MessageBoxAnswerer;
class CloudPaientInfoForm;
class ScriptedCloud;

// Opening a known study (lookup, record, filling the widgets) against the
// two bare libcurl GETs of the same URLs.
class OpenStudyFigure : public BenchFigure
{
public:
    OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer);
    ~OpenStudyFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    // Makes the form and opens the study once, untimed: the first opening also
    // makes the progress window and the form's native window, which a host
    // pays for once, not per study.
    QString setUp() override;
    void timeOpen(benchmark::State& state);
    void timeRawGets(benchmark::State& state);

    const ScriptedCloud& cloud;
    MessageBoxAnswerer& answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
};

#endif
