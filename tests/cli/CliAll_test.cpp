#include "CliBench.h"
#include "ProductionReport.h"
#include "PseudoTerminal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// The "done" events of a JSON run, by port.
QMap<QString, QJsonObject> doneEvents(const CliResult& result)
{
    QMap<QString, QJsonObject> done;
    for (const QJsonObject& event : result.jsonLines()) {
        if (event.value("event").toString() == "done")
            done.insert(event.value("port").toString(), event);
    }
    return done;
}

// A run of dfu-util that reads from or writes to a unit.
bool isTransfer(const QStringList& toolArguments)
{
    return toolArguments.contains("-D") || toolArguments.contains("-U");
}

enum class Expect { Done, Untouched, Partial };

struct AllUnitsCase {
    const char* name;
    QList<QStringList> units; // simulator options of each unit
    QStringList options;      // beside update --all --json
    int exitCode;
    QList<Expect> expected;   // per unit
};

class CliAllUnits : public ::testing::TestWithParam<AllUnitsCase> {};

// Every unit has its own back-end: a refused, unplugged or missing unit
// never stops the others, and the exit code is the worst outcome.
TEST_P(CliAllUnits, UpdatesEveryUnitOnItsOwn)
{
    const AllUnitsCase& c = GetParam();
    CliBench bench(Backend::Mcuboot, QString(), 64 * 1024);
    for (const QStringList& options : c.units)
        ASSERT_TRUE(bench.plug(options).isReady());

    const CliResult result = bench.run(QStringList{"update", "--all", "--json"} + c.options);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    for (qsizetype i = 0; i < c.units.size(); ++i) {
        SCOPED_TRACE(i);
        const QString port = bench.unit(static_cast<std::size_t>(i)).path();
        switch (c.expected[i]) {
        case Expect::Done:
            EXPECT_TRUE(bench.unitHoldsImage(static_cast<std::size_t>(i)));
            EXPECT_EQ(bench.unit(static_cast<std::size_t>(i)).resetCount(), 1);
            EXPECT_TRUE(done.value(port).value("ok").toBool()) << result.out.toStdString();
            break;
        case Expect::Untouched:
            EXPECT_TRUE(bench.unitImage(static_cast<std::size_t>(i)).isEmpty());
            EXPECT_EQ(bench.unit(static_cast<std::size_t>(i)).resetCount(), 0);
            if (c.exitCode != 3) {
                EXPECT_FALSE(done.value(port).value("ok").toBool(true)) << result.out.toStdString();
            }
            break;
        case Expect::Partial:
            EXPECT_FALSE(bench.unitHoldsImage(static_cast<std::size_t>(i)));
            EXPECT_FALSE(done.value(port).value("ok").toBool(true)) << result.out.toStdString();
            break;
        }
    }
    // Nothing but JSON on standard output; the table goes to standard error.
    for (const QJsonObject& event : result.jsonLines())
        EXPECT_FALSE(event.isEmpty()) << result.out.toStdString();
    if (c.exitCode != 3) {
        EXPECT_TRUE(result.err.contains("outcome")) << result.err.toStdString();
    }
}

const QStringList kGood{};

INSTANTIATE_TEST_SUITE_P(
    Cases, CliAllUnits,
    ::testing::Values(
        AllUnitsCase{"four_units_all_done", {kGood, kGood, kGood, kGood}, {}, 0,
                     {Expect::Done, Expect::Done, Expect::Done, Expect::Done}},
        AllUnitsCase{"one_refused_model", {kGood, {"--model-id", "99"}, kGood}, {}, 4,
                     {Expect::Done, Expect::Untouched, Expect::Done}},
        AllUnitsCase{"one_unplugged_mid_update", {kGood, {"--unplug-after-bytes", "20000"}, kGood}, {}, 1,
                     {Expect::Done, Expect::Partial, Expect::Done}},
        AllUnitsCase{"count_reached", {kGood, kGood}, {"--count", "2", "--wait", "10"}, 0,
                     {Expect::Done, Expect::Done}},
        AllUnitsCase{"no_unit_at_all", {}, {}, 3, {}},
        AllUnitsCase{"count_not_reached", {kGood, kGood}, {"--count", "3", "--wait", "3"}, 3,
                     {Expect::Untouched, Expect::Untouched}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DfuAllCase {
    const char* name;
    QByteArray modelIds; // per listed unit
    int exitCode;
    QList<bool> written; // per listed unit
};

class CliAllUnitsUsb : public ::testing::TestWithParam<DfuAllCase> {};

// DFU units share their USB identifiers, so each is named to the tool by its
// USB path, and they take turns: each unit's events end before the next
// unit's begin, and every run of the tool that touches a unit names it.
TEST_P(CliAllUnitsUsb, DfuUnitsAreUpdatedOneAfterAnother)
{
    const DfuAllCase& c = GetParam();
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11,0483:df11");
    bench.setDfu("DFU_SIM_MODEL_ID", c.modelIds);

    const CliResult result = bench.run({"update", "--all", "--json"});

    EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    QStringList portOrder;
    for (const QJsonObject& event : result.jsonLines()) {
        const QString port = event.value("port").toString();
        if (portOrder.isEmpty() || portOrder.last() != port)
            portOrder << port;
    }
    EXPECT_EQ(portOrder.join(' ').toStdString(), "1-1 1-2 1-3") << result.out.toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    for (int i = 0; i < c.written.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bench.unitHoldsImage(static_cast<std::size_t>(i)), c.written[i]);
        EXPECT_EQ(done.value(QStringLiteral("1-%1").arg(i + 1)).value("ok").toBool(), c.written[i]);
    }
    for (const QStringList& run : bench.dfuRuns()) {
        if (isTransfer(run)) {
            EXPECT_EQ(run.mid(0, 3), QStringList({"-d", "0483:df11", "-p"})) << run.join(' ').toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliAllUnitsUsb,
    ::testing::Values(DfuAllCase{"three_units_all_done", "7", 0, {true, true, true}},
                      DfuAllCase{"middle_unit_refused", "7,99,12", 4, {true, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// Watching DFU units: each listed unit is updated once, in turn, and a unit
// still listed after its update is left alone.
TEST(CliAllUnitsUsbWatch, EachListedUnitOnceInTurn)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");
    bool interrupted = false;
    QElapsedTimer sinceBothDone;

    const CliResult result = bench.run({"update", "--all", "--watch", "--json"}, [&](QProcess& cli) {
        const QString out = QString::fromUtf8(cli.peek(1 << 20));
        if (out.count("\"event\":\"done\"") < 2 || interrupted)
            return;
        if (!sinceBothDone.isValid())
            sinceBothDone.start();
        if (sinceBothDone.hasExpired(5000)) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished);
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count("\"event\":\"done\""), 2) << "each unit once";
    EXPECT_EQ(doneEvents(result).keys(), QStringList({"1-1", "1-2"}));
    EXPECT_TRUE(bench.unitHoldsImage(0));
    EXPECT_TRUE(bench.unitHoldsImage(1));
    qsizetype downloads = 0;
    for (const QStringList& run : bench.dfuRuns())
        downloads += run.contains("-D") ? 1 : 0;
    EXPECT_EQ(downloads, 2);
}

// Ctrl-C while DFU units wait for their turn: the running one is finished,
// the waiting ones are never touched, and the run does not end as done.
TEST(CliAllUnitsUsbInterrupt, WaitingUnitsAreNotStartedAndNotCountedDone)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11,0483:df11");
    bench.setDfu("DFU_SIM_DOWNLOAD_MS", "3000");
    bool interrupted = false;

    const CliResult result = bench.run({"update", "--all", "--json"}, [&](QProcess& cli) {
        if (!interrupted && cli.peek(1 << 20).contains("\"event\":\"progress\"")) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(result.exitCode, 3) << result.err.toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    EXPECT_TRUE(done.value("1-1").value("ok").toBool()) << result.out.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(0));
    for (const char* waiting : {"1-2", "1-3"}) {
        SCOPED_TRACE(waiting);
        EXPECT_EQ(done.value(waiting).value("reason").toString(), "interrupted before its turn");
        for (const QStringList& run : bench.dfuRuns())
            EXPECT_FALSE(run.contains(waiting)) << run.join(' ').toStdString();
    }
    EXPECT_FALSE(bench.unitHoldsImage(1));
    EXPECT_FALSE(bench.unitHoldsImage(2));
    EXPECT_TRUE(result.err.contains("not started")) << result.err.toStdString();
}

// At a terminal Ctrl-C goes to the whole foreground process group. The tool
// has a group of its own, so the running download ends well and the unit
// holds the image; the unit waiting for its turn is never started.
TEST(CliAllUnitsUsbInterrupt, TerminalCtrlCLetsTheRunningDownloadFinish)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");
    bench.setDfu("DFU_SIM_DOWNLOAD_MS", "3000");
    bench.cli().setOwnProcessGroup(true);
    bool interrupted = false;

    const CliResult result = bench.run({"update", "--all", "--json"}, [&](QProcess& cli) {
        if (!interrupted && cli.peek(1 << 20).contains("\"phase\":\"write\"")) {
            ::kill(-static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(result.exitCode, 3) << result.err.toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    EXPECT_TRUE(done.value("1-1").value("ok").toBool()) << result.out.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(0));
    EXPECT_EQ(done.value("1-2").value("reason").toString(), "interrupted before its turn");
    EXPECT_FALSE(bench.unitHoldsImage(1));
    for (const QStringList& run : bench.dfuRuns())
        EXPECT_FALSE(run.contains("1-2")) << run.join(' ').toStdString();
}

// Ctrl-C while the program is busy looking for units (the listing holds it):
// the units found by that look are not started, although the periodic look
// at the interrupt has had no chance to run.
TEST(CliAllUnitsUsbInterrupt, CtrlCDuringTheFirstLookStartsNoUnit)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");
    bench.setDfu("DFU_SIM_LIST_MS", "1500");
    bench.cli().setOwnProcessGroup(true);
    QElapsedTimer sinceStart;
    sinceStart.start();
    bool interrupted = false;

    const CliResult result = bench.run({"update", "--all", "--json"}, [&](QProcess& cli) {
        if (!interrupted && sinceStart.hasExpired(700)) {
            ::kill(-static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(result.exitCode, 3) << result.err.toStdString();
    for (const QStringList& run : bench.dfuRuns())
        EXPECT_FALSE(isTransfer(run)) << run.join(' ').toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    EXPECT_EQ(done.value("1-1").value("reason").toString(), "interrupted before its turn") << result.out.toStdString();
    EXPECT_EQ(done.value("1-2").value("reason").toString(), "interrupted before its turn");
}

// A second Ctrl-C still stops everything at once, the tool included: the
// download it was running goes no further.
TEST(CliAllUnitsUsbInterrupt, SecondTerminalCtrlCEndsTheToolToo)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11");
    bench.setDfu("DFU_SIM_DOWNLOAD_MS", "4000");
    // Not ended by a broken pipe once the program is gone, as on Windows.
    bench.setDfu("DFU_SIM_SIGPIPE", "ignore");
    bench.cli().setOwnProcessGroup(true);
    int interrupts = 0;

    const CliResult result = bench.run({"update", "--all", "--json"}, [&](QProcess& cli) {
        if (interrupts < 2 && cli.peek(1 << 20).contains("\"phase\":\"write\"")) {
            ::kill(-static_cast<pid_t>(cli.processId()), SIGINT);
            ++interrupts;
            QThread::msleep(200);
        }
    });

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(interrupts, 2);
    EXPECT_EQ(result.exitCode, -1) << "ended by the signal";
    // Time enough for an orphaned tool to have finished the download.
    QThread::msleep(5000);
    EXPECT_FALSE(bench.unitHoldsImage(0));
}

class CliAllUnitsUsbRefusal : public ::testing::TestWithParam<QStringList> {};

// A listing without USB paths cannot tell DFU units apart: none is touched,
// with --watch too, and the run ends at once with 5 by itself.
TEST_P(CliAllUnitsUsbRefusal, UnitsWithoutPathsAreLeftAlone)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");
    bench.setDfu("DFU_SIM_LIST_PATHS", "no");
    QElapsedTimer sinceStart;
    sinceStart.start();
    bool interrupted = false;

    const CliResult result = bench.run(QStringList{"update", "--all", "--json"} + GetParam(), [&](QProcess& cli) {
        if (!interrupted && sinceStart.hasExpired(8000)) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    EXPECT_FALSE(interrupted) << "the run went on watching";
    EXPECT_EQ(result.exitCode, 5) << result.err.toStdString();
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_EQ(events.size(), 1) << result.out.toStdString();
    EXPECT_EQ(events.first().value("event").toString(), "done");
    EXPECT_FALSE(events.first().value("ok").toBool(true));
    EXPECT_TRUE(result.err.contains("USB path")) << result.err.toStdString();
    for (const QStringList& run : bench.dfuRuns())
        EXPECT_FALSE(isTransfer(run)) << run.join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, CliAllUnitsUsbRefusal,
                         ::testing::Values(QStringList{}, QStringList{"--watch"}),
                         [](const auto& info) { return info.param.isEmpty() ? "all" : "watch"; });

// The units' back-ends log at the same time, each on its own thread: every
// line a back-end writes names its unit.
TEST(CliAllUnitsLog, BackEndLinesNameTheirUnit)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug().isReady());
    ASSERT_TRUE(bench.plug().isReady());
    QTemporaryDir folder;
    const QString logPath = folder.filePath("run.log");

    ASSERT_EQ(bench.run({"update", "--all", "--log", logPath}).exitCode, 0);

    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList backEndLines = QString::fromUtf8(file.readAll()).split('\n').filter("McubootSerialUpdater");
    QSet<QString> named;
    static const QRegularExpression tagged("^\\S+ \\S+ \\S+ \\[([^\\]]+)\\] \"?McubootSerialUpdater");
    for (const QString& line : backEndLines) {
        const QRegularExpressionMatch match = tagged.match(line);
        EXPECT_TRUE(match.hasMatch()) << line.toStdString();
        named.insert(match.captured(1));
    }
    EXPECT_EQ(named, (QSet<QString>{bench.unit(0).path(), bench.unit(1).path()}))
        << backEndLines.join('\n').toStdString();
}

// The production record: a header once, then one row per unit and attempt,
// across runs; values a spreadsheet would run as formulas stay text.
TEST(CliAllUnitsReport, AppendsOneRowPerUnitAndAttempt)
{
    CliBench bench(Backend::Mcuboot);
    ASSERT_TRUE(bench.plug({"--serial-number", "LMX-0001"}).isReady());
    ASSERT_TRUE(bench.plug({"--serial-number", "=HYPERLINK(\"x\"),2", "--model-id", "99"}).isReady());
    QTemporaryDir folder;
    const QString report = folder.filePath("line 1.csv");

    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(bench.run({"update", "--all", "--force", "--report", report}).exitCode, 4);

    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 5) << rows.join('\n').toStdString();
    EXPECT_EQ(rows[0], "utc_time,port,vid_pid,serial_number,model_id,image_name,image_sha256,outcome,reason,"
                       "seconds,host_name,version,verified");
    const QString sha = QCryptographicHash::hash(bench.imageBytes(), QCryptographicHash::Sha256).toHex();
    const QString good = bench.unit(0).path();
    const QStringList done = rows.filter(good);
    ASSERT_EQ(done.size(), 2);
    const QStringList fields = done.first().split(',');
    ASSERT_EQ(fields.size(), 13) << done.first().toStdString();
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(fields[0]).hasMatch());
    EXPECT_EQ(fields.mid(1, 8), (QStringList{good, "1209:4c55", "LMX-0001", "7", "firmware.bin", sha, "done", ""}));
    EXPECT_FALSE(fields[10].isEmpty()) << "host name";
    EXPECT_EQ(fields[11], "") << "a plain image has no version";
    EXPECT_EQ(fields[12], "") << "not read back";
    const QStringList refused = rows.filter(bench.unit(1).path());
    ASSERT_EQ(refused.size(), 2);
    EXPECT_TRUE(refused.first().contains(",refused,model identifier refused,")) << refused.first().toStdString();
}

TEST(CliAllUnitsReport, FieldsAreQuotedAndFormulasKeptAsText)
{
    for (const auto& [text, field] : QList<std::pair<QString, QString>>{
             {"LMX-1", "LMX-1"},
             {"a,b", "\"a,b\""},
             {"say \"hi\"", "\"say \"\"hi\"\"\""},
             {"=SUM(A1)", "'=SUM(A1)"},
             {"+1", "'+1"},
             {"-2", "'-2"},
             {"@x", "'@x"},
             {"=A1,B1", "\"'=A1,B1\""},
             {"two\nlines", "\"two\nlines\""},
         }) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(ProductionReport::field(text), field);
    }
}

// The screen a terminal shows after the output: line feeds, carriage
// returns, erase-line and the cursor moving up and down.
QStringList screenAfter(const QString& output)
{
    QStringList screen{QString()};
    qsizetype row = 0;
    qsizetype column = 0;
    static const QRegularExpression control("^\\033\\[(\\d*)([ABK])");
    for (qsizetype i = 0; i < output.size(); ++i) {
        const QChar c = output[i];
        if (c == '\033') {
            const QRegularExpressionMatch match = control.match(output.mid(i));
            if (!match.hasMatch())
                continue;
            const qsizetype count = match.captured(1).isEmpty() ? 1 : match.captured(1).toInt();
            if (match.captured(2) == "A")
                row = std::max<qsizetype>(0, row - count);
            else if (match.captured(2) == "B")
                row += count;
            else
                screen[row].truncate(column);
            while (screen.size() <= row)
                screen << QString();
            i += match.capturedLength() - 1;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            ++row;
            column = 0;
            while (screen.size() <= row)
                screen << QString();
        } else {
            QString& line = screen[row];
            if (line.size() <= column)
                line.resize(column, ' ');
            line.replace(column, 1, c);
            ++column;
        }
    }
    return screen;
}

// On a terminal each unit keeps one line that is redrawn in place: at the
// end the screen shows one line per unit, each with its outcome.
TEST(CliAllUnitsTerminal, EachUnitKeepsItsOwnLine)
{
    CliBench bench(Backend::Mcuboot, QString(), 64 * 1024);
    ASSERT_TRUE(bench.plug().isReady());
    ASSERT_TRUE(bench.plug().isReady());
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.isValid());
    bench.cli().setOutputTerminal(&terminal);

    const CliResult result = bench.run({"update", "--all"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("\033[2A")) << "the first unit's line was redrawn from below the second";
    const QStringList screen = screenAfter(result.out);
    for (std::size_t i = 0; i < 2; ++i) {
        const QString port = bench.unit(i).path();
        const QStringList lines = screen.filter(QRegularExpression("^" + QRegularExpression::escape(port) + ": "));
        ASSERT_EQ(lines.size(), 1) << screen.join('\n').toStdString();
        EXPECT_TRUE(lines.first().contains("Done")) << lines.first().toStdString();
    }
    EXPECT_EQ(screen.filter(QRegularExpression("^port +outcome")).size(), 1) << screen.join('\n').toStdString();
}

// Units plugged one after another are each updated once; one that stays
// plugged is not updated again; Ctrl-C ends the run with the outcome.
TEST(CliAllUnitsWatch, UpdatesEachUnitThatAppearsOnce)
{
    CliBench bench(Backend::Mcuboot);
    QTemporaryDir cables;
    const QStringList ports{cables.filePath("bench-1"), cables.filePath("bench-2")};
    bench.cli().announce(ports);
    int plugged = 0;
    bool interrupted = false;
    QElapsedTimer sinceLast;

    const CliResult result = bench.run({"update", "--all", "--watch", "--json"}, [&](QProcess& cli) {
        const QString out = QString::fromUtf8(cli.peek(1 << 20));
        const int doneCount = static_cast<int>(out.count("\"event\":\"done\""));
        if (plugged == doneCount && plugged < ports.size()) {
            // The next unit comes to the bench: a cable to its simulator.
            UnitSimulator& unit = bench.plug();
            ASSERT_TRUE(unit.isReady());
            ASSERT_TRUE(QFile::link(unit.path(), ports[plugged]));
            ++plugged;
            sinceLast.start();
        } else if (plugged == ports.size() && doneCount == plugged && !interrupted && sinceLast.hasExpired(5000)) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished);
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QMap<QString, QJsonObject> done = doneEvents(result);
    EXPECT_EQ(done.keys(), ports);
    EXPECT_EQ(result.out.count("\"event\":\"done\""), 2) << "each unit once";
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(bench.unitHoldsImage(i));
        EXPECT_EQ(bench.unit(i).resetCount(), 1);
    }
}

// A unit moved to another port is skipped and named by its serial
// number; what the unit stored there must not drive the terminal.
TEST(CliAllUnitsWatch, SkippedUnitsSerialNumberIsShownWithoutControlCharacters)
{
    CliBench bench(Backend::Mcuboot);
    QTemporaryDir cables;
    const QStringList ports{cables.filePath("bench-1"), cables.filePath("bench-2")};
    UnitSimulator& unit = bench.plug({"--serial-number", "LMX\x1b]0;owned\x07\x1b[2J-7"});
    ASSERT_TRUE(unit.isReady());
    bench.cli().announce(ports);
    ASSERT_TRUE(QFile::link(unit.path(), ports[0]));
    bool replugged = false;
    bool interrupted = false;

    const CliResult result = bench.run({"update", "--all", "--watch"}, [&](QProcess& cli) {
        const QString out = QString::fromUtf8(cli.peek(1 << 20));
        if (!replugged && out.contains("Done:")) {
            ASSERT_TRUE(QFile::remove(ports[0]));
            ASSERT_TRUE(QFile::link(unit.path(), ports[1]));
            replugged = true;
        } else if (!interrupted && out.contains("skipped:")) {
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
            interrupted = true;
        }
    });

    ASSERT_TRUE(result.finished) << result.out.toStdString() << result.err.toStdString();
    ASSERT_TRUE(interrupted) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("skipped: already updated in this run (serial number LMX?]0;owned??[2J-7)"))
        << result.out.toStdString();
    EXPECT_FALSE(result.out.contains(QChar(0x1b)));
    EXPECT_FALSE(result.out.contains(QChar(0x07)));
}

// The image is read once at the start: a file replaced while the run watches
// for units reaches no unit, and the report names the bytes that were written.
TEST(CliAllUnitsWatch, ImageReplacedMidRunIsNotWritten)
{
    CliBench bench(Backend::Mcuboot);
    QTemporaryDir cables;
    const QString port = cables.filePath("bench-1");
    const QString reportPath = cables.filePath("report.csv");
    bench.cli().announce({port});
    QElapsedTimer sinceStart;
    sinceStart.start();
    bool replaced = false;
    bool interrupted = false;

    const CliResult result =
        bench.run({"update", "--all", "--watch", "--json", "--report", reportPath}, [&](QProcess& cli) {
            const bool done = QString::fromUtf8(cli.peek(1 << 20)).contains("\"event\":\"done\"");
            if (!replaced && sinceStart.hasExpired(1500)) {
                QFile image(bench.imagePath());
                ASSERT_TRUE(image.open(QIODevice::WriteOnly | QIODevice::Truncate));
                image.write(QByteArray(bench.imageBytes().size(), '\x42'));
                image.close();
                UnitSimulator& unit = bench.plug();
                ASSERT_TRUE(unit.isReady());
                ASSERT_TRUE(QFile::link(unit.path(), port));
                replaced = true;
            } else if (done && !interrupted) {
                ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
                interrupted = true;
            }
        });

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(0));
    QFile report(reportPath);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QString rows = QString::fromUtf8(report.readAll());
    const QString written =
        QString::fromLatin1(QCryptographicHash::hash(bench.imageBytes(), QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(rows.contains(written)) << rows.toStdString();
}

} // namespace
