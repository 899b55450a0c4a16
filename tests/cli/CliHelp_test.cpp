#include "CliProcess.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// --help documents every option and every exit code, on standard output.
TEST(CliHelp, DocumentsEveryOptionAndExitCode)
{
    CliProcess cli;
    const CliResult result = cli.run({"--help"});

    EXPECT_EQ(result.exitCode, 0);
    for (const char* option : {"list", "update", "check-image", "--port PATH", "--wait SECONDS", "--json", "--log FILE",
                               "--resources DIR", "--config FILE", "--image FILE", "--verify", "--no-verify", "--help", "--version",
                               "package keygen --out NAME", "package create", "package verify FILE.fwpkg",
                               "--version V", "--models LIST", "--interface NAME", "--product TEXT",
                               "--programming-address ADDRESS", "--notes TEXT", "--key NAME.key",
                               "require_signed_package", "--all", "--count N", "--watch", "--report FILE", "--force",
                               "--history URL", "history", "history sync", "--serial S", "--outcome OUTCOME",
                               "--since DATE", "--station NAME", "--csv"})
        EXPECT_TRUE(result.out.contains(option)) << option;
    for (int code = 0; code <= 5; ++code)
        EXPECT_TRUE(result.out.contains(QRegularExpression(QStringLiteral("\\n  %1  \\S").arg(code)))) << code;
    EXPECT_TRUE(result.err.isEmpty());
}

TEST(CliHelp, VersionNamesTheProgram)
{
    CliProcess cli;
    const CliResult result = cli.run({"--version"});

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains(QRegularExpression("^fwupdater-cli \\d+\\.\\d+"))) << result.out.toStdString();
}

} // namespace
