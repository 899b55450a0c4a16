#include "CliBench.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct BackendCase {
    const char* name;
    Backend backend;
};

class CliUpdate : public ::testing::TestWithParam<BackendCase> {};

// The percentages of the progress lines, in order.
QList<int> percentagesShown(const CliResult& result)
{
    static const QRegularExpression percentLine("^\\s*(\\d+)%  ");
    QList<int> percents;
    for (const QString& line : result.outLines()) {
        const QRegularExpressionMatch match = percentLine.match(line);
        if (match.hasMatch())
            percents << match.captured(1).toInt();
    }
    return percents;
}

// The whole road on each back-end: found, checked, written, started; the unit
// ends with exactly the image, and the run says so with exit code 0.
TEST_P(CliUpdate, WritesTheImageIntoTheOneUnit)
{
    CliBench bench(GetParam().backend);
    if (GetParam().backend == Backend::Usb)
        bench.listDfuDevices("0483:df11");
    else
        ASSERT_TRUE(bench.plug().isReady());

    const CliResult result = bench.run({"update"});

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage());
    const QStringList lines = result.outLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith("Done: ")) << lines.last().toStdString();
    // Not a terminal: at most one line per 10 % step, ending at 100 %.
    const QList<int> percents = percentagesShown(result);
    ASSERT_FALSE(percents.isEmpty()) << result.out.toStdString();
    EXPECT_EQ(percents.last(), 100);
    for (qsizetype i = 1; i < percents.size(); ++i)
        EXPECT_GT(percents[i] / 10, percents[i - 1] / 10) << result.out.toStdString();
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, CliUpdate,
                         ::testing::Values(BackendCase{"mcuboot", Backend::Mcuboot},
                                           BackendCase{"uart", Backend::Uart}, BackendCase{"usb", Backend::Usb}),
                         [](const auto& info) { return std::string(info.param.name); });

// MCUboot reports every chunk, so every 10 % step gets its line: with bytes,
// rate and time left.
TEST(CliUpdateProgress, NotATerminalGivesOneLinePerTenPercent)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug().isReady());

    const CliResult result = bench.run({"update"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QList<int> tenths;
    for (int percent : percentagesShown(result))
        tenths << percent / 10;
    EXPECT_EQ(tenths, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << result.out.toStdString();
    const QStringList last = result.outLines().filter("100%");
    ASSERT_EQ(last.size(), 1);
    EXPECT_TRUE(last.first().contains("24.0 KiB of 24.0 KiB")) << last.first().toStdString();
    EXPECT_TRUE(last.first().contains(QRegularExpression("KiB/s  0 s left$"))) << last.first().toStdString();
}

// A script that stops reading must not cut the flash short.
TEST(CliUpdateOutput, GoneReaderDoesNotStopTheUpdate)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug().isReady());
    bench.cli().setOutputReaderGone(true);

    const CliResult result = bench.run({"update", "--json"});

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage());
}

// With --port only the named unit is touched, even beside another one.
TEST(CliUpdatePort, UpdatesOnlyTheNamedUnit)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug().isReady());
    UnitSimulator& second = bench.plug();
    ASSERT_TRUE(second.isReady());

    const CliResult result = bench.run({"update", "--port", second.path()});

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(1));
    EXPECT_FALSE(bench.unitHoldsImage(0));
}

struct DfuPortCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    QList<bool> written; // per listed unit
};

class CliUpdateUsbPort : public ::testing::TestWithParam<DfuPortCase> {};

// Several DFU units share their USB identifiers: --port names one by the USB
// path of the listing, and only that one is written. Without it none is.
TEST_P(CliUpdateUsbPort, OnlyTheNamedDfuUnitIsWritten)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");

    const CliResult result = bench.run(GetParam().arguments);

    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err.toStdString();
    EXPECT_EQ(bench.unitHoldsImage(0), GetParam().written[0]);
    EXPECT_EQ(bench.unitHoldsImage(1), GetParam().written[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUpdateUsbPort,
    ::testing::Values(DfuPortCase{"port_picks_the_second", {"update", "--port", "1-2"}, 0, {false, true}},
                      DfuPortCase{"no_port_refuses_both", {"update"}, 5, {false, false}},
                      DfuPortCase{"port_of_no_unit", {"update", "--port", "1-7"}, 3, {false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

// The USB erase phase is shown as such before the progress lines.
TEST(CliUpdateUsb, ShowsTheErasePhase)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11");
    bench.setDfu("DFU_SIM_ERASE_MS", "1500");
    bench.setDfu("DFU_SIM_DOWNLOAD_MS", "2500");

    const CliResult result = bench.run({"update"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.outLines();
    const qsizetype erase = lines.indexOf("Erasing the unit's flash...");
    ASSERT_GE(erase, 0) << result.out.toStdString();
    const QStringList percentLines = lines.filter(QRegularExpression("^\\s*\\d+%  "));
    ASSERT_GE(percentLines.size(), 2) << result.out.toStdString();
    EXPECT_LT(erase, lines.indexOf(percentLines.first()));
}

} // namespace
