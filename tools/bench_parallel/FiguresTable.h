#pragma once

#include "RunFigures.h"

#include <QList>
#include <map>

// The runs of every unit count, averaged per count, printed as a table with
// the ratios to one unit and the goals for 4 and 8 units.
class FiguresTable {
public:
    struct Goal {
        int units;
        double mostRatio;
    };
    static constexpr Goal kGoals[] = {{4, 1.2}, {8, 1.5}};

    void add(const RunFigures& figures) { runs[figures.units].append(figures); }
    void print() const;

private:
    // The runs of one unit count, folded into one row.
    RunFigures averaged(int units) const;
    void printGoal(const Goal& goal) const;

    std::map<int, QList<RunFigures>> runs;
};
