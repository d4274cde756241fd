#ifndef OPENSTUDYFIGURE_H
#define OPENSTUDYFIGURE_H

#include "benchfigure.h"
#include "wanrelay.h"

#include <memory>
#include <optional>
#include <string>

class MessageBoxAnswerer;
class CloudPaientInfoForm;
class ScriptedCloud;

// Opening a known study (lookup, record, filling the widgets) against the
// two bare libcurl GETs of the same URLs: on loopback, or across a simulated
// wide area link that both reach the cloud through.
class OpenStudyFigure : public BenchFigure
{
public:
    OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer);
    // Across @p link: the form is made with settings that point at a relay.
    OpenStudyFigure(const ScriptedCloud& cloud, MessageBoxAnswerer& answerer, const WanLink& link);
    ~OpenStudyFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

    // Opens the known study on @p form once per iteration, timed; the run
    // fails when a box came up or the form did not show the study.
    static void timeOpenings(benchmark::State& state, CloudPaientInfoForm& form, MessageBoxAnswerer& answerer);

private:
    // Makes the form and opens the study once, untimed: the first opening also
    // makes the progress window and the form's native window, which a host
    // pays for once, not per study.
    QString setUp() override;
    void timeOpen(benchmark::State& state);
    void timeRawGets(benchmark::State& state);
    // @p url of the cloud as the figure reaches it: through the relay when there is one.
    std::string reached(const std::string& url) const;

    const ScriptedCloud& cloud;
    MessageBoxAnswerer& answerer;
    const std::optional<WanLink> link;
    const std::string openKey;
    const std::string rawKey;
    std::unique_ptr<WanRelay> relay;
    std::unique_ptr<CloudPaientInfoForm> form;
};

#endif
