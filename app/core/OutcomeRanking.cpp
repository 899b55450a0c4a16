#include "OutcomeRanking.h"

int OutcomeRanking::severity(ExitCode code)
{
    switch (code) {
    case ExitCode::UpdateFailed: return 5;
    case ExitCode::UsageOrInput: return 4;
    case ExitCode::SeveralUnits: return 3;
    case ExitCode::ModelRefused: return 2;
    case ExitCode::NoUnit: return 1;
    case ExitCode::Done: break;
    }
    return 0;
}

ExitCode OutcomeRanking::worse(ExitCode a, ExitCode b)
{
    return severity(b) > severity(a) ? b : a;
}

ExitCode OutcomeRanking::worstOf(const QList<UnitOutcome>& outcomes)
{
    ExitCode worst = outcomes.isEmpty() ? ExitCode::NoUnit : ExitCode::Done;
    for (const UnitOutcome& outcome : outcomes)
        worst = worse(worst, outcome.code);
    return worst;
}
