#ifndef OPENSTUDYFIGURE_H
#define OPENSTUDYFIGURE_H

#include "benchfigure.h"

#include <memory>

class BoxAutoAnswerer;
class CloudPaientInfoForm;
class ScriptedCloud;

// Opening a known study (lookup, record, filling the widgets) against the
// two bare libcurl GETs of the same URLs.
class OpenStudyFigure : public BenchFigure
{
public:
    OpenStudyFigure(const ScriptedCloud& cloud, BoxAutoAnswerer& answerer);
    ~OpenStudyFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

    // Opens the known study on @p form once per iteration, timed; the run
    // fails when a box came up or the form did not show the study.
    static void timeOpenings(benchmark::State& state, CloudPaientInfoForm& form, BoxAutoAnswerer& answerer);

private:
    // Makes the form and opens the study once, untimed: the first opening also
    // makes the progress window and the form's native window, which a host
    // pays for once, not per study.
    QString setUp() override;
    void timeOpen(benchmark::State& state);
    void timeRawGets(benchmark::State& state);

    const ScriptedCloud& cloud;
    BoxAutoAnswerer& answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
};

#endif
