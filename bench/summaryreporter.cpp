#include "summaryreporter.h"

#include "benchsummary.h"

SummaryReporter::SummaryReporter(BenchSummary& summary) : summary(summary) {}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration)
            continue;
        const std::string key = sampleKey(run.benchmark_name());
        if (run.error_occurred)
            summary.fail(key, QString::fromStdString(run.error_message));
        else if (run.iterations > 0)
            summary.add(key, run.real_accumulated_time / double(run.iterations));
        // Counters carry the seconds of a case's parts, averaged per iteration.
        if (!run.error_occurred) {
            for (const auto& [name, counter] : run.counters)
                summary.add(key + '/' + name, counter.value);
        }
    }
    ConsoleReporter::ReportRuns(runs);
}
