#include "benchfigure.h"

#include <benchmark/benchmark.h>

#include <chrono>

BenchFigure::~BenchFigure() = default;

QString BenchFigure::setUp()
{
    return QString();
}

QString BenchFigure::prepare()
{
    if (!prepared) {
        prepared = true;
        setUpFailure = setUp();
    }
    return setUpFailure;
}

benchmark::internal::Benchmark* BenchFigure::registerCase(const std::string& key, int round, Case body)
{
    const std::string name = key + '#' + std::to_string(round);
    return benchmark::RegisterBenchmark(name.c_str(), std::move(body))
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void BenchFigure::registerPair(int round, int iterations, const std::string& measuredKey, Case measured,
                               const std::string& baselineKey, Case baseline)
{
    if (round % 2 == 1) {
        registerCase(measuredKey, round, std::move(measured))->Iterations(iterations);
        registerCase(baselineKey, round, std::move(baseline))->Iterations(iterations);
    } else {
        registerCase(baselineKey, round, std::move(baseline))->Iterations(iterations);
        registerCase(measuredKey, round, std::move(measured))->Iterations(iterations);
    }
}

bool BenchFigure::skipped(benchmark::State& state, const QString& why)
{
    if (why.isEmpty())
        return false;
    state.SkipWithError(why.toStdString().c_str());
    return true;
}

double BenchFigure::secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
