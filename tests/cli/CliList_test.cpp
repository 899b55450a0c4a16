#include "CliBench.h"

#include <gtest/gtest.h>

namespace {

struct ListCase {
    const char* name;
    int units;
};

class CliList : public ::testing::TestWithParam<ListCase> {};

// One line per unit that counts as connected: port, VID:PID, product name.
TEST_P(CliList, PrintsEachConnectedUnit)
{
    CliBench bench(Backend::Mcuboot);
    QStringList paths;
    for (int i = 0; i < GetParam().units; ++i)
        paths << bench.plug().path();

    const CliResult result = bench.run({"list"});

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    QStringList expected;
    for (const QString& path : paths)
        expected << path + "\t1209:4c55\tUnit";
    EXPECT_EQ(result.outLines(), expected);
    EXPECT_EQ(result.err.contains("No unit"), paths.isEmpty()) << result.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Units, CliList,
                         ::testing::Values(ListCase{"none", 0}, ListCase{"one", 1}, ListCase{"two", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Ports with identifiers product_list does not name are not units.
TEST(CliListRules, ForeignIdentifiersAreNotListed)
{
    CliBench bench(Backend::Mcuboot);
    const QString path = bench.plug().path();
    bench.cli().announce({path}, "1209:0001");

    const CliResult result = bench.run({"list"});

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.outLines().isEmpty()) << result.out.toStdString();
}

// Listing asks no unit anything: the simulator sees no request.
TEST(CliListRules, AsksTheUnitNothing)
{
    CliBench bench(Backend::Mcuboot);
    UnitSimulator& unit = bench.plug();

    ASSERT_EQ(bench.run({"list"}).exitCode, 0);

    EXPECT_TRUE(unit.log().isEmpty()) << unit.log().toStdString();
}

// In USB mode the DFU listing is the source; each line names its USB path.
TEST(CliListRules, UsbListsTheRecognisedDfuDevices)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("1d50:6017,0483:df11");

    const CliResult result = bench.run({"list"});

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(), QStringList{"1-2\t0483:df11\tSTM32 DFU"});
}

} // namespace
