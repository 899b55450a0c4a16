#include "UnitOutcome.h"

QString UnitOutcome::outcomeText() const
{
    switch (code) {
    case ExitCode::Done: return skipped ? QStringLiteral("skipped") : QStringLiteral("done");
    case ExitCode::ModelRefused: return QStringLiteral("refused");
    case ExitCode::NoUnit: return notStarted ? QStringLiteral("not started") : QStringLiteral("not found");
    case ExitCode::SeveralUnits: return QStringLiteral("several units");
    case ExitCode::UsageOrInput: return QStringLiteral("input error");
    case ExitCode::UpdateFailed: break;
    }
    return QStringLiteral("failed");
}
