#include "CliBench.h"
#include "PseudoTerminal.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct TerminalCase {
    const char* name;
    Backend backend;
    // What the one line must have shown on its way, in this order.
    QStringList shown;
};

class CliTerminal : public ::testing::TestWithParam<TerminalCase> {};

qsizetype indexOfMatch(const QStringList& states, const QString& pattern, qsizetype from)
{
    const QRegularExpression expression(pattern);
    for (qsizetype i = from; i < states.size(); ++i) {
        if (expression.match(states[i]).hasMatch())
            return i;
    }
    return -1;
}

// On a terminal the progress is one line that rewrites itself: carriage
// return and erase-line before each state, percent, bytes, rate, time left.
TEST_P(CliTerminal, ProgressRewritesOneLine)
{
    CliBench bench(GetParam().backend, QString(), 96 * 1024);
    if (GetParam().backend == Backend::Usb) {
        bench.listDfuDevices("0483:df11");
        bench.setDfu("DFU_SIM_ERASE_MS", "1500");
        bench.setDfu("DFU_SIM_DOWNLOAD_MS", "2500");
    } else {
        bench.plug();
    }
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.isValid());
    bench.cli().setOutputTerminal(&terminal);

    const CliResult result = bench.run({"update"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList states = result.out.split("\r\033[K");
    ASSERT_GT(states.size(), 3) << result.out.toStdString();
    qsizetype from = 0;
    for (const QString& expected : GetParam().shown) {
        const qsizetype at = indexOfMatch(states, expected, from);
        ASSERT_GE(at, 0) << "missing " << expected.toStdString() << " in\n" << result.out.toStdString();
        from = at;
    }
    // The rewritten states stay on one line: no line break between them.
    for (qsizetype i = 1; i + 1 < states.size(); ++i)
        EXPECT_FALSE(states[i].contains('\n')) << states[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Backends, CliTerminal,
    ::testing::Values(
        TerminalCase{"mcuboot", Backend::Mcuboot,
                     {"^\\s*\\d%  .* of 96\\.0 KiB", "^ 5\\d%  \\d+\\.\\d KiB of 96\\.0 KiB  \\S+ KiB/s  \\d+ s left\\s*$",
                      "^100%  96\\.0 KiB of 96\\.0 KiB"}},
        TerminalCase{"usb", Backend::Usb, {"^Erasing the unit's flash\\.\\.\\.$", "^\\s*\\d+%  ", "^100%  "}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
