#include "McubootSerialUpdater.h"
#include "UnitSimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

// How long the updater waits for a unit that stops answering, measured from
// outside against the simulator with its silence fault. Each window leaves
// out half and double of the budget.
struct BudgetCase {
    const char* name;
    const char* silentFromRequest;  // request 1 is the probe, 2 the first upload chunk
    bool uploads;                   // false: only the connection's probe
    qint64 atLeastMs;
    qint64 atMostMs;
};

void PrintTo(const BudgetCase& c, std::ostream* out)
{
    *out << c.name;
}

class McubootTimeBudget : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(McubootTimeBudget, GivesUpOnASilentUnitAfterItsBudget)
{
    const BudgetCase& c = GetParam();
    QTemporaryDir folder;
    const QString imagePath = folder.filePath("image.bin");
    QFile image(imagePath);
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(3 * McubootSerialUpdater::kChunkSize, '\x5A'));
    image.close();
    UnitSimulator unit({"--model-id", "7", "--silent-from-request", c.silentFromRequest});
    ASSERT_TRUE(unit.isReady());
    McubootSerialUpdater updater(imagePath, 921600, false, QString());

    QElapsedTimer clock;
    clock.start();
    if (c.uploads) {
        ASSERT_TRUE(updater.connectDevice(unit.path()));
        clock.start();
        EXPECT_FALSE(updater.upload(QByteArray(3 * McubootSerialUpdater::kChunkSize, '\x5A'), {}));
    } else {
        EXPECT_FALSE(updater.connectDevice(unit.path()));
    }
    const qint64 waited = clock.elapsed();
    EXPECT_GE(waited, c.atLeastMs);
    EXPECT_LE(waited, c.atMostMs);
    std::printf("%s: gave up after %lld ms\n", c.name, static_cast<long long>(waited));
}

INSTANTIATE_TEST_SUITE_P(Budgets, McubootTimeBudget,
                         ::testing::Values(BudgetCase{"Probe2000", "1", false, 1500, 3500},
                                           BudgetCase{"FirstChunk10000", "2", true, 7500, 15000},
                                           BudgetCase{"LaterChunk3000", "3", true, 2250, 4500}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
