#pragma once

#include "ExitCode.h"
#include "FoundUnit.h"

#include <QString>
#include <optional>

// How one unit's update attempt ended: what the production run ranks, keeps
// in the report and hands to its view for the summary table.
struct UnitOutcome {
    FoundUnit unit;
    QString serialNumber;
    std::optional<int> model;
    ExitCode code = ExitCode::UpdateFailed;
    QString reason; // empty when done
    double seconds = 0.0;
    QString advice; // what a person should do about a failure
    bool skipped = false; // left alone by the run's skip rule; `reason` says why
    bool notStarted = false; // waited for its turn when the run was interrupted; nothing was written

    bool done() const { return code == ExitCode::Done; }
    QString outcomeText() const;
};
