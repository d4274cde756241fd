#ifndef BENCHSUMMARY_H
#define BENCHSUMMARY_H

#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

// How a figure's ratio is judged.
struct Goal
{
    enum Kind { None, AtMost, Under, AtLeast };
    Kind kind = None;
    double ratio = 0;

    bool isMetBy(double measured) const;
    // "at most 1.3x", "under 2x", "at least 1x", "none"
    QString text() const;
};

// "<name>: <ratio>x (goal <goal>)", followed by "met" or "MISSED" when there is a goal.
QString figureLine(const QString& name, double ratio, const Goal& goal);

// The middle sample (mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> samples);

// The key a run's samples are filed under: its name up to the round marker '#'
// ("open/form#2/iterations:40/manual_time" -> "open/form").
std::string sampleKey(const std::string& runName);

// Seconds as a short text with a fitting unit: "812 ns", "41.2 us", "3.07 ms", "1.92 s", "-2.5 ms".
QString durationText(double seconds);

// What each entry adds to a fixed cost: (total - fixed) / entries.
double perEntryCost(double fixedSeconds, double totalSeconds, int entries);

// True when what the entries add stays within @p share of the fixed cost, too
// little to tell from the run-to-run noise.
bool withinNoise(double fixedSeconds, double totalSeconds, double share = 0.05);

// True when the cost per entry at the larger size stays within @p tolerance
// times the cost at the smaller one, as it does when time grows linearly.
bool growsLinearly(double perEntrySmall, double perEntryLarge, double tolerance = 2.0);

// Seconds per iteration, per key, over the rounds of a run; and what failed.
class BenchSummary
{
public:
    void add(const std::string& key, double seconds);
    void fail(const std::string& key, const QString& why);

    bool has(const std::string& key) const;
    // Median over the rounds; 0 when the key has no samples.
    double seconds(const std::string& key) const;
    bool hasAll(const std::vector<std::string>& keys) const;

    QStringList failures() const { return failureTexts; }

private:
    std::map<std::string, std::vector<double>> samples;
    QStringList failureTexts;
};

#endif
