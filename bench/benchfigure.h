#ifndef BENCHFIGURE_H
#define BENCHFIGURE_H

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace benchmark {
class State;
namespace internal {
class Benchmark;
}
}
class BenchSummary;

// One figure of the summary: the measurement and its baseline, registered
// round by round so that both see the same machine load, and the lines that
// report them.
class BenchFigure
{
public:
    virtual ~BenchFigure();

    // Registers one round of the figure's cases. Rounds alternate which of
    // a measurement and its baseline runs first, so that a drifting load
    // does not favour either.
    virtual void registerRound(int round) = 0;

    // The figure line first, then the raw times; empty when the run filtered
    // out or failed one of the figure's cases.
    virtual QStringList summary(const BenchSummary& summary) const = 0;

protected:
    using Case = std::function<void(benchmark::State&)>;

    // Sets up what the figure's cases need; why it could not, or empty.
    virtual QString setUp();
    // setUp() on the first call, its outcome on every later one.
    QString prepare();

    // Registers @p body as "<key>#<round>", timed by what it reports per iteration.
    static benchmark::internal::Benchmark* registerCase(const std::string& key, int round, Case body);

    // Registers a measurement and its baseline for one round, each for
    // @p iterations: the measurement first in odd rounds, last in even ones.
    static void registerPair(int round, int iterations, const std::string& measuredKey, Case measured,
                             const std::string& baselineKey, Case baseline);

    // Ends the run of @p state with @p why when it is not empty; true then.
    static bool skipped(benchmark::State& state, const QString& why);

    // Seconds that @p work takes.
    static double secondsOf(const std::function<void()>& work);

private:
    bool prepared = false;
    QString setUpFailure;
};

#endif
