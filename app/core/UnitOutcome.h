#pragma once

#include "ExitCode.h"
#include "FoundUnit.h"

#include <QString>
#include <optional>

// How one unit's update attempt ended, for the summary table and the report.
struct UnitOutcome {
    FoundUnit unit;
    QString serialNumber;
    std::optional<int> model;
    ExitCode code = ExitCode::UpdateFailed;
    QString reason; // empty when done
    double seconds = 0.0;
    QString advice; // what a person should do about a failure
    bool skipped = false; // known by its serial number as updated earlier in the run
    bool notStarted = false; // waited for its turn when the run was interrupted; nothing was written
    std::optional<bool> verified; // the read-back's answer; empty when there was none

    bool done() const { return code == ExitCode::Done; }
    QString outcomeText() const;
};
