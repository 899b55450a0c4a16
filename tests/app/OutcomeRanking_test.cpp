#include "OutcomeRanking.h"

#include <gtest/gtest.h>

namespace {

// Worst first, as the production line reads the exit code.
const QList<ExitCode> kWorstFirst{ExitCode::UpdateFailed, ExitCode::UsageOrInput, ExitCode::SeveralUnits,
                                  ExitCode::ModelRefused, ExitCode::NoUnit, ExitCode::Done};

UnitOutcome outcomeWith(ExitCode code)
{
    UnitOutcome outcome;
    outcome.code = code;
    return outcome;
}

// Every pair of outcomes: the run ends with the worse one, whatever the order
// the units ended in, so no failure ever ends as 0.
TEST(OutcomeRanking, TheWorseOfEveryPairWins)
{
    for (qsizetype i = 0; i < kWorstFirst.size(); ++i) {
        for (qsizetype j = 0; j < kWorstFirst.size(); ++j) {
            const ExitCode expected = kWorstFirst[std::min(i, j)];
            SCOPED_TRACE(testing::Message() << static_cast<int>(kWorstFirst[i]) << " and "
                                            << static_cast<int>(kWorstFirst[j]));
            EXPECT_EQ(OutcomeRanking::worse(kWorstFirst[i], kWorstFirst[j]), expected);
            EXPECT_EQ(OutcomeRanking::worstOf({outcomeWith(kWorstFirst[i]), outcomeWith(kWorstFirst[j])}), expected);
        }
    }
}

TEST(OutcomeRanking, NoOutcomeAtAllIsNoUnit)
{
    EXPECT_EQ(OutcomeRanking::worstOf({}), ExitCode::NoUnit);
    EXPECT_EQ(OutcomeRanking::worstOf({outcomeWith(ExitCode::Done)}), ExitCode::Done);
}

} // namespace
