#include "formconstructionfigure.h"

#include "benchsummary.h"
#include "formfiles.h"
#include "cloudpaientinfoform.h"
#include "dictionarytext.h"
#include "formwidget.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QLocale>

#include <iterator>
#include <memory>
#include <vector>

namespace {

const int sizes[] = {0, 10, 1000, 10000};
constexpr int comparedSize = 10000;

const std::string newFormKey = "form/new";

// The summary's key for a new form with @p entries, filed from the case's counters.
std::string newFormKeyFor(int entries)
{
    return newFormKey + '/' + std::to_string(entries);
}

const std::string dictionaryKey = "form/loadCheckItems+loadPositions/" + std::to_string(comparedSize);
const std::string bareKey = "form/bare-QComboBox-addItems/" + std::to_string(comparedSize);

QString grouped(int number)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(number);
}

constexpr int newFormIterations = 10;
constexpr int comparedIterations = 5;

int itemCount(const CloudPaientInfoForm& form, const char* box)
{
    const QComboBox* combo = formWidget<QComboBox>(form, box);
    return combo ? combo->count() : -1;
}

bool holdsBoth(const CloudPaientInfoForm& form, int entries)
{
    return itemCount(form, "checkItemComboBox") == entries && itemCount(form, "studyPositionComboBox") == entries;
}

} // namespace

FormConstructionFigure::FormConstructionFigure() = default;

FormConstructionFigure::~FormConstructionFigure() = default;

void FormConstructionFigure::registerRound(int round)
{
    registerCase(newFormKey, round, [this](benchmark::State& state) { timeNewForms(state); })
        ->Iterations(newFormIterations);
    registerPair(
        round, comparedIterations, dictionaryKey,
        [this](benchmark::State& state) { timeDictionaryPart(state, comparedSize); }, bareKey,
        [this](benchmark::State& state) { timeBareComboBoxes(state, comparedSize); });
}

const FormConstructionFigure::Dictionaries& FormConstructionFigure::dictionaries(int entries)
{
    auto found = made.find(entries);
    if (found != made.end())
        return found->second;
    Dictionaries d;
    d.checkItemNames = dictionaryNames(QStringLiteral("检查项目"), entries);
    d.positionNames = dictionaryNames(QStringLiteral("检查部位"), entries);
    d.checkItemJson = FormFiles::dictionaryJson(FormFiles::CheckItems, d.checkItemNames);
    d.positionJson = FormFiles::dictionaryJson(FormFiles::Positions, d.positionNames);
    return made.emplace(entries, std::move(d)).first->second;
}

void FormConstructionFigure::timeNewForms(benchmark::State& state)
{
    // Every size in each iteration, so that all of them meet the same load.
    std::vector<double> seconds(std::size(sizes));
    bool complete = true;
    for (auto _ : state) {
        double all = 0;
        for (size_t i = 0; i < std::size(sizes); ++i) {
            const Dictionaries& d = dictionaries(sizes[i]);
            if (!FormFiles::writeDictionaries(FormFiles::gbk(d.checkItemJson), FormFiles::gbk(d.positionJson))) {
                state.SkipWithError("cannot write the dictionary files");
                return;
            }
            std::unique_ptr<CloudPaientInfoForm> form;
            const double one = secondsOf([&] { form = std::make_unique<CloudPaientInfoForm>(); });
            seconds[i] += one;
            all += one;
            complete = complete && holdsBoth(*form, sizes[i]);
        }
        state.SetIterationTime(all);
    }
    for (size_t i = 0; i < std::size(sizes); ++i)
        state.counters[std::to_string(sizes[i])] = benchmark::Counter(seconds[i], benchmark::Counter::kAvgIterations);
    if (!complete)
        state.SkipWithError("the form did not load every entry");
}

void FormConstructionFigure::timeDictionaryPart(benchmark::State& state, int entries)
{
    const Dictionaries& d = dictionaries(entries);
    if (!FormFiles::writeDictionaries(QByteArrayLiteral("[]"), QByteArrayLiteral("[]"))) {
        state.SkipWithError("cannot write the dictionary files");
        return;
    }
    bool complete = true;
    for (auto _ : state) {
        const auto form = std::make_unique<CloudPaientInfoForm>();
        state.SetIterationTime(secondsOf([&] {
            form->loadCheckItems(d.checkItemJson);
            form->loadPositions(d.positionJson);
        }));
        complete = complete && holdsBoth(*form, entries);
    }
    if (!complete)
        state.SkipWithError("the form did not load every entry");
}

void FormConstructionFigure::timeBareComboBoxes(benchmark::State& state, int entries)
{
    const Dictionaries& d = dictionaries(entries);
    bool complete = true;
    for (auto _ : state) {
        const auto checkItems = std::make_unique<QComboBox>();
        const auto positions = std::make_unique<QComboBox>();
        state.SetIterationTime(secondsOf([&] {
            checkItems->addItems(d.checkItemNames);
            positions->addItems(d.positionNames);
        }));
        complete = complete && checkItems->count() == entries && positions->count() == entries;
    }
    if (!complete)
        state.SkipWithError("the combo boxes did not take every name");
}

QStringList FormConstructionFigure::summary(const BenchSummary& summary) const
{
    std::vector<std::string> keys{dictionaryKey, bareKey};
    for (const int entries : sizes)
        keys.push_back(newFormKeyFor(entries));
    if (!summary.hasAll(keys))
        return {};

    const double dictionaryPart = summary.seconds(dictionaryKey);
    const double bare = summary.seconds(bareKey);
    QStringList lines{
        figureLine(QStringLiteral("Form construction"), dictionaryPart / bare, {Goal::Under, 2}),
        QStringLiteral("  %1 entries per dictionary: loadCheckItems + loadPositions %2; "
                       "bare QComboBox addItems of the same names %3; the rest (mostly reading the JSON) %4")
            .arg(grouped(comparedSize), durationText(dictionaryPart), durationText(bare),
                 durationText(dictionaryPart - bare))};

    const double empty = summary.seconds(newFormKeyFor(0));
    QStringList costs;
    for (const int entries : sizes) {
        const double total = summary.seconds(newFormKeyFor(entries));
        QString cost = QStringLiteral("%1 entries %2").arg(grouped(entries), durationText(total));
        if (entries > 0)
            cost += QStringLiteral(" (%1 per entry%2)")
                        .arg(durationText(perEntryCost(empty, total, entries)),
                             withinNoise(empty, total) ? QStringLiteral(", within the noise") : QString());
        costs << cost;
    }
    lines << QStringLiteral("  new form: ") + costs.join(QStringLiteral("; "));
    const double thousand = summary.seconds(newFormKeyFor(1000));
    // A cost per entry that the noise can hide gives no ratio worth printing.
    if (thousand <= empty || withinNoise(empty, thousand)) {
        lines << QStringLiteral("  cost per entry at 10,000 vs 1,000: not measurable, 1,000 entries cost no more "
                                "than the noise of an empty form");
        return lines;
    }
    const double small = perEntryCost(empty, thousand, 1000);
    const double large = perEntryCost(empty, summary.seconds(newFormKeyFor(10000)), 10000);
    lines << QStringLiteral("  cost per entry at 10,000 vs 1,000: %1x (%2)")
                 .arg(QString::number(large / small, 'f', 2),
                      growsLinearly(small, large) ? QStringLiteral("linear") : QStringLiteral("NOT linear"));
    return lines;
}
