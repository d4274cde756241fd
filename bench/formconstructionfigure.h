#ifndef FORMCONSTRUCTIONFIGURE_H
#define FORMCONSTRUCTIONFIGURE_H

#include "benchfigure.h"

#include <QString>
#include <QStringList>

#include <map>

// A new form with dictionary files of growing size, and the dictionary part
// of it (loadCheckItems and loadPositions) against a bare QComboBox filled
// with the same names.
class FormConstructionFigure : public BenchFigure
{
public:
    FormConstructionFigure();
    ~FormConstructionFigure() override;

    void registerRound(int round) override;
    QStringList summary(const BenchSummary& summary) const override;

private:
    struct Dictionaries
    {
        QStringList checkItemNames;
        QStringList positionNames;
        QString checkItemJson;
        QString positionJson;
    };

    const Dictionaries& dictionaries(int entries);
    void timeNewForms(benchmark::State& state);
    void timeDictionaryPart(benchmark::State& state, int entries);
    void timeBareComboBoxes(benchmark::State& state, int entries);

    std::map<int, Dictionaries> made;
};

#endif
