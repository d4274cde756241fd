#ifndef SUMMARYREPORTER_H
#define SUMMARYREPORTER_H

#include <benchmark/benchmark.h>

class BenchSummary;

// Prints each run as the console reporter does and files its time per
// iteration (or its error) in the summary under the run's key, and each of
// its counters under "<key>/<counter>".
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    explicit SummaryReporter(BenchSummary& summary);

    void ReportRuns(const std::vector<Run>& runs) override;

private:
    BenchSummary& summary;
};

#endif
