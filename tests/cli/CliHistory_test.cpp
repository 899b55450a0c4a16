#include "CliBench.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// The rows of the bench's history, newest first, as `history --json` prints them.
QList<QJsonObject> historyRows(const CliBench& bench, const QStringList& filter = {})
{
    const CliResult result = bench.run(QStringList{"history", "--json"} + filter);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    return result.jsonLines();
}

QMap<QString, QJsonObject> byPort(const QList<QJsonObject>& rows)
{
    QMap<QString, QJsonObject> map;
    for (const QJsonObject& row : rows)
        map.insert(row.value("port").toString(), row);
    return map;
}

// Done, failed and refused attempts each leave one row in the default file,
// which history prints with every column.
TEST(CliHistory, RecordsEveryOutcomeOfARun)
{
    CliBench bench(Backend::Mcuboot, QString(), 64 * 1024);
    bench.cli().setVariable("FWUPDATER_STATION", "station-7");
    const QString done = bench.plug({"--serial-number", "SN-1"}).path();
    const QString failed = bench.plug({"--serial-number", "SN-2", "--unplug-after-bytes", "20000"}).path();
    const QString refused = bench.plug({"--serial-number", "SN-3", "--model-id", "99"}).path();

    const CliResult run = bench.run({"update", "--all"});
    ASSERT_EQ(run.exitCode, 1) << run.err.toStdString();

    const QList<QJsonObject> rows = historyRows(bench);
    ASSERT_EQ(rows.size(), 3);
    const QMap<QString, QJsonObject> rowOf = byPort(rows);
    const QString sha = QCryptographicHash::hash(bench.imageBytes(), QCryptographicHash::Sha256).toHex();
    EXPECT_EQ(rowOf[done].value("outcome").toString(), "done");
    EXPECT_EQ(rowOf[done].value("serial_number").toString(), "SN-1");
    EXPECT_EQ(rowOf[done].value("model_id").toInt(), 7);
    EXPECT_GT(rowOf[done].value("seconds").toDouble(), 0.0);
    EXPECT_EQ(rowOf[failed].value("outcome").toString(), "failed");
    EXPECT_FALSE(rowOf[failed].value("reason").toString().isEmpty());
    EXPECT_EQ(rowOf[refused].value("outcome").toString(), "refused");
    EXPECT_EQ(rowOf[refused].value("reason").toString(), "model identifier refused");
    for (const QJsonObject& row : rows) {
        EXPECT_EQ(row.value("station").toString(), "station-7");
        EXPECT_EQ(row.value("front_end").toString(), "cli");
        EXPECT_EQ(row.value("vid_pid").toString(), "1209:4c55");
        EXPECT_EQ(row.value("interface").toString(), "mcuboot_serial");
        EXPECT_EQ(row.value("image_name").toString(), "firmware.bin");
        EXPECT_EQ(row.value("image_sha256").toString(), sha);
        EXPECT_TRUE(row.value("started_utc").toString().endsWith('Z'));
        EXPECT_FALSE(row.value("ended_utc").toString().isEmpty());
    }

    // Filters and the other formats.
    EXPECT_EQ(historyRows(bench, {"--outcome", "done"}).size(), 1);
    EXPECT_EQ(historyRows(bench, {"--serial", "SN-2"}).value(0).value("port").toString(), failed);
    EXPECT_EQ(historyRows(bench, {"--station", "station-8"}).size(), 0);
    EXPECT_EQ(historyRows(bench, {"--since", "2999-01-01"}).size(), 0);
    const CliResult csv = bench.run({"history", "--csv"});
    EXPECT_TRUE(csv.out.startsWith("started_utc,ended_utc,station,front_end,port,vid_pid,serial_number,model_id,"
                                   "interface,image_name,image_sha256,image_version,outcome,reason,seconds,verified\r\n"))
        << csv.out.toStdString();
    EXPECT_EQ(csv.out.count("\r\n"), 4);
    const CliResult table = bench.run({"history"});
    EXPECT_EQ(table.outLines().size(), 4);
    EXPECT_TRUE(table.outLines().value(0).startsWith("started (UTC)"));
}

// A unit the history has as done with this image is not written again, and
// a skip alone ends the run with 0; --force updates it anyway.
TEST(CliHistory, SkipsAUnitDoneWithThisImage)
{
    CliBench bench(Backend::Mcuboot);
    bench.plug({"--serial-number", "LMX-0001"});
    ASSERT_EQ(bench.run({"update", "--all"}).exitCode, 0);
    bench.unit(0).unplug();
    UnitSimulator& again = bench.plug({"--serial-number", "LMX-0001"});

    const CliResult skipped = bench.run({"update", "--all"});
    EXPECT_EQ(skipped.exitCode, 0) << skipped.err.toStdString();
    const QString date = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd");
    EXPECT_TRUE(skipped.out.contains(
        QStringLiteral("skipped: already updated at %1 on %2").arg(QSysInfo::machineHostName(), date)))
        << skipped.out.toStdString();
    EXPECT_TRUE(again.image().isEmpty());
    EXPECT_EQ(again.resetCount(), 0);
    EXPECT_EQ(historyRows(bench).size(), 1);

    const CliResult forced = bench.run({"update", "--all", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(1));
    EXPECT_EQ(historyRows(bench, {"--outcome", "done"}).size(), 2);
}

// A serial number is a value, never SQL text.
TEST(CliHistory, RecordsAHostileSerialNumberAsText)
{
    const QString hostile = "x'); DROP TABLE attempts; --";
    CliBench bench(Backend::Mcuboot);
    bench.plug({"--serial-number", hostile});
    bench.plug({"--serial-number", "SN-2"});
    ASSERT_EQ(bench.run({"update", "--all"}).exitCode, 0);

    const QList<QJsonObject> rows = historyRows(bench, {"--serial", hostile});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().value("serial_number").toString(), hostile);
    EXPECT_EQ(historyRows(bench).size(), 2);
}

// A process killed mid-update leaves its row running; the next process on
// the station marks it interrupted.
TEST(CliHistory, ARunKilledMidUpdateEndsInterrupted)
{
    CliBench bench(Backend::Mcuboot, QString(), 128 * 1024);
    bench.plug({"--serial-number", "SN-1", "--baud", "115200"});
    bool killed = false;
    bench.run({"update", "--all", "--json"}, [&](QProcess& cli) {
        if (!killed && cli.peek(1 << 20).contains("\"event\":\"progress\"")) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
            killed = true;
        }
    });
    ASSERT_TRUE(killed);
    EXPECT_EQ(historyRows(bench).value(0).value("outcome").toString(), "running");

    bench.unit(0).unplug();
    EXPECT_EQ(bench.run({"update", "--all"}).exitCode, 3);
    const QList<QJsonObject> rows = historyRows(bench);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().value("outcome").toString(), "interrupted");
}

TEST(CliHistory, OffRecordsNothingAndABadValueIsAConfigurationError)
{
    CliBench bench(Backend::Mcuboot);
    bench.plug({"--serial-number", "SN-1"});
    ASSERT_EQ(bench.run({"update", "--all", "--history", "off"}).exitCode, 0);
    EXPECT_TRUE(historyRows(bench).isEmpty());

    const CliResult bad = bench.run({"update", "--all", "--history", "mysql://db/h"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("postgresql://")) << bad.err.toStdString();
}

} // namespace
