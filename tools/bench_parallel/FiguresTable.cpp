#include "FiguresTable.h"

#include <algorithm>
#include <cstdio>

RunFigures FiguresTable::averaged(int units) const
{
    const QList<RunFigures>& all = runs.at(units);
    RunFigures row;
    row.units = units;
    for (const RunFigures& run : all) {
        row.wallSeconds += run.wallSeconds / double(all.size());
        row.meanUnitSeconds += run.meanUnitSeconds / double(all.size());
        row.cpuSeconds += run.cpuSeconds / double(all.size());
        row.simulatorCpuSeconds += run.simulatorCpuSeconds / double(all.size());
        row.maxUnitSeconds = std::max(row.maxUnitSeconds, run.maxUnitSeconds);
    }
    return row;
}

void FiguresTable::print() const
{
    const bool haveOne = runs.count(1) > 0;
    const double oneWall = haveOne ? averaged(1).wallSeconds : 0;
    std::printf("%5s %8s %12s %11s %7s %10s %11s %11s\n", "units", "wall s", "unit mean s", "unit max s", "wall/1",
                "CLI CPU s", "CPU % core", "sims CPU s");
    for (const auto& [units, list] : runs) {
        const RunFigures row = averaged(units);
        char ratio[16] = "-";
        if (haveOne)
            std::snprintf(ratio, sizeof ratio, "%.2f", row.wallSeconds / oneWall);
        std::printf("%5d %8.2f %12.2f %11.2f %7s %10.2f %11.1f %11.2f\n", units, row.wallSeconds,
                    row.meanUnitSeconds, row.maxUnitSeconds, ratio, row.cpuSeconds,
                    100.0 * row.cpuSeconds / row.wallSeconds, row.simulatorCpuSeconds);
    }
    for (const Goal& goal : kGoals)
        printGoal(goal);
}

void FiguresTable::printGoal(const Goal& goal) const
{
    std::printf("%d units within %.1fx of one: ", goal.units, goal.mostRatio);
    if (runs.count(1) == 0 || runs.count(goal.units) == 0) {
        std::printf("not measured\n");
        return;
    }
    const double ratio = averaged(goal.units).wallSeconds / averaged(1).wallSeconds;
    std::printf("%s (%.2fx)\n", ratio <= goal.mostRatio ? "met" : "missed", ratio);
}
