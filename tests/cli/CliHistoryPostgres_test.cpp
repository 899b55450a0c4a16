#include "CliBench.h"
#include "HistoryLocation.h"
#include "HistoryStore.h"
#include "PostgresHistoryTest.h"
#include "WaitUntil.h"

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// The history a line of stations shares.
class CliHistoryPostgres : public PostgresHistoryTest {};

// A station of the line: its units, and fwupdater-cli started as a child
// process under the station's name.
struct Station {
    QString name;
    std::vector<std::unique_ptr<UnitSimulator>> units;
    QTemporaryDir data;
    QProcess cli;

    void start(const QString& resources, const QString& url)
    {
        QStringList ports;
        for (const auto& unit : units)
            ports << unit->path() + "=1209:4c55";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("FWUPDATER_STATION", name);
        environment.insert("FWUPDATER_VIRTUAL_PORTS", ports.join(';'));
        environment.insert("XDG_DATA_HOME", data.path());
        cli.setProcessEnvironment(environment);
        cli.start(CliProcess::programPath(),
                  {"update", "--all", "--count", QString::number(units.size()), "--wait", "30", "--json",
                   "--history", url, "--resources", resources});
    }
};

// Four stations update four units each at the same moment into one
// database: one row per attempt, none lost, none doubled. A unit carried on
// to another station is skipped there.
TEST_F(CliHistoryPostgres, FourStationsShareOneHistory)
{
    CliBench bench(Backend::Mcuboot, QString(), 16 * 1024);
    std::vector<std::unique_ptr<Station>> stations;
    for (int s = 1; s <= 4; ++s) {
        auto station = std::make_unique<Station>();
        station->name = QStringLiteral("station-%1").arg(s);
        for (int u = 1; u <= 4; ++u) {
            station->units.push_back(std::make_unique<UnitSimulator>(
                QStringList{"--model-id", "7", "--serial-number", QStringLiteral("S%1-U%2").arg(s).arg(u)}));
            ASSERT_TRUE(station->units.back()->isReady());
        }
        stations.push_back(std::move(station));
    }
    for (auto& station : stations)
        station->start(bench.resourcesPath(), url);
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(stations.begin(), stations.end(),
                           [](const auto& station) { return station->cli.state() == QProcess::NotRunning; });
    }, 120000));

    QSet<QString> expected;
    for (auto& station : stations) {
        EXPECT_EQ(station->cli.exitCode(), 0) << station->cli.readAllStandardError().toStdString();
        for (const auto& unit : station->units)
            expected.insert(station->name + " " + unit->path());
    }
    const QList<AttemptRecord> rows = serverRows();
    QSet<QString> recorded;
    QSet<QString> uids;
    for (const AttemptRecord& row : rows) {
        EXPECT_EQ(row.outcome, QStringLiteral("done")) << row.port.toStdString();
        recorded.insert(row.station + " " + row.port);
        uids.insert(row.uid);
    }
    EXPECT_EQ(rows.size(), 16);
    EXPECT_EQ(uids.size(), 16);
    EXPECT_EQ(recorded, expected);

    // The first unit of station 1, carried on to station 2.
    Station next;
    next.name = "station-2";
    next.units.push_back(std::make_unique<UnitSimulator>(QStringList{"--model-id", "7", "--serial-number", "S1-U1"}));
    next.start(bench.resourcesPath(), url);
    ASSERT_TRUE(next.cli.waitForFinished(60000));
    const QString out = QString::fromUtf8(next.cli.readAllStandardOutput());
    EXPECT_EQ(next.cli.exitCode(), 0);
    EXPECT_TRUE(out.contains("\"skipped\":true")) << out.toStdString();
    EXPECT_TRUE(out.contains("already updated at station-1 on ")) << out.toStdString();
    EXPECT_TRUE(next.units.front()->image().isEmpty());
    EXPECT_EQ(serverRows().size(), 16);
}

// The server goes away in the middle of a run: the updates finish, the rows
// wait in the station's own file with one warning, and history sync sends
// each of them once when the server is back.
TEST_F(CliHistoryPostgres, RowsWaitWhileTheServerIsAwayAndSyncSendsThemOnce)
{
    CliBench bench(Backend::Mcuboot, QStringLiteral("history=%1\n").arg(url), 64 * 1024);
    bench.cli().setVariable("FWUPDATER_STATION", "station-1");
    for (const char* serial : {"SN-1", "SN-2"})
        bench.plug({"--serial-number", serial, "--baud", "230400"});
    bool stopped = false;

    const CliResult run = bench.run({"update", "--all", "--count", "2", "--wait", "10", "--json"}, [&](QProcess& cli) {
        if (!stopped && cli.peek(1 << 20).count("\"event\":\"progress\"") >= 4) {
            stopped = server->stop();
        }
    });

    ASSERT_TRUE(stopped);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(0));
    EXPECT_TRUE(bench.unitHoldsImage(1));
    EXPECT_EQ(run.err.count("cannot be reached"), 1) << run.err.toStdString();

    ASSERT_TRUE(server->start(error)) << error.toStdString();
    for (const AttemptRecord& row : serverRows())
        EXPECT_EQ(row.outcome, QStringLiteral("running")) << "completions wait in the station's file";
    const CliResult sync = bench.run({"history", "sync"});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_TRUE(sync.out.contains("2 attempt(s) sent")) << sync.out.toStdString();
    const CliResult again = bench.run({"history", "sync"});
    EXPECT_TRUE(again.out.contains("0 attempt(s) sent")) << again.out.toStdString();

    const QList<AttemptRecord> rows = serverRows();
    ASSERT_EQ(rows.size(), 2);
    QSet<QString> serials;
    for (const AttemptRecord& row : rows) {
        EXPECT_EQ(row.outcome, QStringLiteral("done"));
        EXPECT_EQ(row.station, QStringLiteral("station-1"));
        serials.insert(row.serialNumber);
    }
    EXPECT_EQ(serials, (QSet<QString>{"SN-1", "SN-2"}));
}

// history_required=true: a server that cannot be reached stops the run before any unit is touched.
TEST_F(CliHistoryPostgres, ARequiredHistoryThatIsAwayIsAStartUpError)
{
    CliBench bench(Backend::Mcuboot, QStringLiteral("history=%1\nhistory_required=true\n").arg(url));
    bench.plug({"--serial-number", "SN-1"});
    ASSERT_TRUE(server->stop());

    const CliResult run = bench.run({"update", "--all"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("history_required")) << run.err.toStdString();
    EXPECT_TRUE(bench.unitImage(0).isEmpty());
}

} // namespace
