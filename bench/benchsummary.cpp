#include "benchsummary.h"

#include <algorithm>
#include <cmath>

bool Goal::isMetBy(double measured) const
{
    switch (kind) {
    case AtMost:
        return measured <= ratio;
    case Under:
        return measured < ratio;
    case AtLeast:
        return measured >= ratio;
    case None:
        break;
    }
    return true;
}

QString Goal::text() const
{
    const QString value = QString::number(ratio, 'g', 3) + QLatin1Char('x');
    switch (kind) {
    case AtMost:
        return QStringLiteral("at most ") + value;
    case Under:
        return QStringLiteral("under ") + value;
    case AtLeast:
        return QStringLiteral("at least ") + value;
    case None:
        break;
    }
    return QStringLiteral("none");
}

QString figureLine(const QString& name, double ratio, const Goal& goal)
{
    QString line = QStringLiteral("%1: %2x (goal %3)").arg(name, QString::number(ratio, 'f', 2), goal.text());
    if (goal.kind != Goal::None)
        line += goal.isMetBy(ratio) ? QStringLiteral(" met") : QStringLiteral(" MISSED");
    return line;
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    const size_t middle = samples.size() / 2;
    std::nth_element(samples.begin(), samples.begin() + middle, samples.end());
    const double upper = samples[middle];
    if (samples.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(samples.begin(), samples.begin() + middle);
    return (lower + upper) / 2;
}

std::string sampleKey(const std::string& runName)
{
    return runName.substr(0, runName.find('#'));
}

QString durationText(double seconds)
{
    if (seconds < 0)
        return QLatin1Char('-') + durationText(-seconds);
    struct Unit
    {
        double scale;
        const char* name;
    };
    static const Unit units[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "us"}};
    for (const Unit& unit : units) {
        if (seconds >= unit.scale)
            return QStringLiteral("%1 %2").arg(QString::number(seconds / unit.scale, 'g', 3),
                                               QLatin1String(unit.name));
    }
    return QStringLiteral("%1 ns").arg(QString::number(seconds * 1e9, 'g', 3));
}

double perEntryCost(double fixedSeconds, double totalSeconds, int entries)
{
    return entries > 0 ? (totalSeconds - fixedSeconds) / entries : 0;
}

bool withinNoise(double fixedSeconds, double totalSeconds, double share)
{
    return std::abs(totalSeconds - fixedSeconds) <= fixedSeconds * share;
}

bool growsLinearly(double perEntrySmall, double perEntryLarge, double tolerance)
{
    return perEntrySmall > 0 && perEntryLarge <= perEntrySmall * tolerance;
}

void BenchSummary::add(const std::string& key, double seconds)
{
    samples[key].push_back(seconds);
}

void BenchSummary::fail(const std::string& key, const QString& why)
{
    failureTexts << QStringLiteral("%1: %2").arg(QString::fromStdString(key), why);
}

bool BenchSummary::has(const std::string& key) const
{
    return samples.count(key) != 0;
}

double BenchSummary::seconds(const std::string& key) const
{
    const auto found = samples.find(key);
    return found == samples.end() ? 0 : median(found->second);
}

bool BenchSummary::hasAll(const std::vector<std::string>& keys) const
{
    return std::all_of(keys.begin(), keys.end(), [this](const std::string& key) { return has(key); });
}
