#include "CliBench.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct ExitCase {
    const char* name;
    // Plugs units, writes files; gives the command line.
    std::function<QStringList(CliBench&)> setUp;
    int exitCode;
    // Words the message for a person must hold (empty: no message at all).
    QStringList said;
};

class CliExitCode : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CliExitCode, EndsWithTheCodeOfTheOutcome)
{
    CliBench bench(Backend::Mcuboot);
    const QStringList arguments = GetParam().setUp(bench);

    const CliResult result = bench.run(arguments);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err.toStdString();
    for (const QString& words : GetParam().said) {
        EXPECT_TRUE(result.err.contains(words)) << "missing \"" << words.toStdString() << "\" in\n"
                                                << result.err.toStdString();
    }
    if (GetParam().said.isEmpty()) {
        EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    }
}

QStringList update(CliBench& bench, const QStringList& unitArguments)
{
    bench.plug(unitArguments);
    return {"update"};
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CliExitCode,
    ::testing::Values(
        ExitCase{"done", [](CliBench& b) { return update(b, {}); }, 0, {}},
        ExitCase{"cable_pulled_during_the_update",
                 [](CliBench& b) { return update(b, {"--unplug-after-bytes", "9000"}); }, 1,
                 {"failed", "boot mode", "session log"}},
        ExitCase{"unit_never_answers",
                 [](CliBench& b) { return update(b, {"--silent-from-request", "1"}); }, 1,
                 {"does not answer"}},
        ExitCase{"unknown_option", [](CliBench&) { return QStringList{"update", "--colour"}; }, 2,
                 {"colour", "--help"}},
        ExitCase{"no_command", [](CliBench&) { return QStringList{}; }, 2, {"list or update"}},
        ExitCase{"verify_and_no_verify",
                 [](CliBench&) { return QStringList{"update", "--verify", "--no-verify"}; }, 2,
                 {"--verify and --no-verify"}},
        ExitCase{"verify_with_list", [](CliBench&) { return QStringList{"list", "--verify"}; }, 2,
                 {"update command"}},
        ExitCase{"unknown_command", [](CliBench&) { return QStringList{"flash"}; }, 2, {"flash"}},
        ExitCase{"wait_not_a_number", [](CliBench&) { return QStringList{"update", "--wait", "soon"}; }, 2,
                 {"--wait"}},
        ExitCase{"missing_config",
                 [](CliBench& b) {
                     return QStringList{"update", "--config", QDir(b.resourcesPath()).filePath("none.ini")};
                 },
                 2, {"none.ini", "--config"}},
        ExitCase{"missing_image",
                 [](CliBench& b) {
                     b.plug();
                     return QStringList{"update", "--image", QDir(b.resourcesPath()).filePath("none.bin")};
                 },
                 2, {"none.bin", "--image"}},
        ExitCase{"empty_image",
                 [](CliBench& b) {
                     b.plug();
                     const QString empty = QDir(b.resourcesPath()).filePath("empty.bin");
                     QFile(empty).open(QIODevice::WriteOnly);
                     return QStringList{"update", "--image", empty};
                 },
                 2, {"empty"}},
        ExitCase{"no_unit_after_waiting", [](CliBench&) { return QStringList{"update", "--wait", "1"}; }, 3,
                 {"No unit found", "--wait"}},
        ExitCase{"no_unit_at_once", [](CliBench&) { return QStringList{"update"}; }, 3, {"No unit found"}},
        ExitCase{"port_is_not_a_unit",
                 [](CliBench& b) {
                     b.plug();
                     return QStringList{"update", "--port", QDir(b.resourcesPath()).filePath("elsewhere")};
                 },
                 3, {"No unit found on", "elsewhere"}},
        ExitCase{"model_refused", [](CliBench& b) { return update(b, {"--model-id", "99"}); }, 4,
                 {"model identifier", "device_id_list"}},
        ExitCase{"two_units_without_port",
                 [](CliBench& b) {
                     b.plug();
                     b.plug();
                     return QStringList{"update"};
                 },
                 5, {"More than one unit", "--port"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A refused unit, and units named in a refusal, are never written to.
TEST(CliExitCodeDetails, SeveralUnitsAreNamedAndLeftAlone)
{
    CliBench bench(Backend::Mcuboot);
    const QString first = bench.plug().path();
    const QString second = bench.plug().path();

    const CliResult result = bench.run({"update"});

    EXPECT_EQ(result.exitCode, 5);
    EXPECT_TRUE(result.err.contains(first) && result.err.contains(second)) << result.err.toStdString();
    EXPECT_FALSE(bench.unitHoldsImage(0));
    EXPECT_FALSE(bench.unitHoldsImage(1));
}

// A unit that appears while the command waits is found and updated.
TEST(CliExitCodeDetails, WaitingFindsAUnitPluggedLater)
{
    CliBench bench(Backend::Mcuboot);
    const QString cable = bench.resourcesPath() + "/cable";
    bench.cli().announce({cable});
    std::unique_ptr<UnitSimulator> unit;
    QTimer::singleShot(1500, [&] {
        unit = std::make_unique<UnitSimulator>(QStringList{"--model-id", "7"});
        QFile::link(unit->path(), cable);
    });

    const CliResult result = bench.run({"update", "--wait", "20"});

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->image(), bench.imageBytes());
}

} // namespace
