#include "CliBench.h"
#include "ProductionReport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct UnopenableCase {
    const char* name;
    QString path; // relative: inside a fresh folder
};

class CliReportUnopenable : public ::testing::TestWithParam<UnopenableCase> {};

// A report that cannot be written is found out before any unit is touched:
// no unit is written and the run ends with 2. /dev/full opens fine; only a
// write shows that it takes nothing.
TEST_P(CliReportUnopenable, NoUnitIsWritten)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug().isReady());
    ASSERT_TRUE(bench.plug().isReady());
    QTemporaryDir folder;
    const QString path = GetParam().path.startsWith('/') ? GetParam().path : folder.filePath(GetParam().path);

    const CliResult result = bench.run({"update", "--all", "--json", "--report", path});

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("Cannot write the report")) << result.err.toStdString();
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(bench.unitImage(i).isEmpty());
        EXPECT_EQ(bench.unit(i).resetCount(), 0);
    }
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_EQ(events.size(), 1) << result.out.toStdString();
    EXPECT_EQ(events.first().value("exit").toInt(), 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, CliReportUnopenable,
                         ::testing::Values(UnopenableCase{"missing_folder", "missing/dir/r.csv"},
                                           UnopenableCase{"full_device", "/dev/full"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RowFailureCase {
    const char* name;
    QList<QStringList> units; // simulator options of each unit
    int exitCode;
};

class CliReportRowFailure : public ::testing::TestWithParam<RowFailureCase> {};

// A disk that fills up during the run: the rows already in the file stay as
// they were, each unit whose row is lost is named, and the run cannot end as
// done; only a failed update ranks above the lost record.
TEST_P(CliReportRowFailure, IsNamedAndEndsTheRunNonZero)
{
    const RowFailureCase& c = GetParam();
    CliBench bench(Backend::Mcuboot);
    for (const QStringList& options : c.units)
        ASSERT_TRUE(bench.plug(options).isReady());
    QTemporaryDir folder;
    const QString path = folder.filePath("line.csv");
    // Earlier runs' rows; large enough that the session log stays below the limit.
    QByteArray earlier = ProductionReport::headerRow().toUtf8() + "\r\n";
    while (earlier.size() < 64 * 1024)
        earlier += "2026-01-01T00:00:00Z,/dev/ttyUSB0,1209:4c55,LMX-1,7,firmware.bin,00,done,,1.0,bench\r\n";
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write(earlier);
    existing.close();
    bench.cli().setFileSizeLimit(earlier.size());

    const CliResult result =
        bench.run({"update", "--all", "--report", path, "--log", folder.filePath("run.log")});

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    EXPECT_EQ(readBytes(path), earlier) << "nothing lost, nothing half written";
    for (std::size_t i = 0; i < static_cast<std::size_t>(c.units.size()); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(result.err.contains("Cannot write the row of " + bench.unit(i).path() + " to the report"))
            << result.err.toStdString();
    }
}

const QStringList kGood{};

INSTANTIATE_TEST_SUITE_P(
    Cases, CliReportRowFailure,
    ::testing::Values(RowFailureCase{"units_done", {kGood, kGood}, 2},
                      RowFailureCase{"one_refused", {kGood, {"--model-id", "99"}}, 2},
                      RowFailureCase{"one_failed", {kGood, {"--unplug-after-bytes", "9000"}}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
