#pragma once

#include "ExitCode.h"
#include "UnitOutcome.h"

#include <QList>

// Which outcome of a production run weighs most, so the run ends with the
// code of its worst one. Worst first: a failed update (a unit may be half
// written), an input or report that cannot be used (the run has no complete
// record), units that cannot be told apart, a refused model, no unit found.
// Every outcome but done ranks above done, so no failure ends as 0.
class OutcomeRanking {
public:
    static int severity(ExitCode code);
    static ExitCode worse(ExitCode a, ExitCode b);
    // NoUnit when there is no outcome at all.
    static ExitCode worstOf(const QList<UnitOutcome>& outcomes);
};
