#include "CliBench.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString sha256Of(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

struct OutcomeCase {
    const char* name;
    QStringList unitArguments;
    int exitCode;
    const char* outcome;
};

class CliSessionLog : public ::testing::TestWithParam<OutcomeCase> {};

// The log names the configuration, the image with its SHA-256, the unit and
// the outcome with its duration.
TEST_P(CliSessionLog, HoldsTheImageHashAndTheOutcome)
{
    CliBench bench(Backend::Mcuboot);
    const QString port = bench.plug(GetParam().unitArguments + QStringList{"--serial-number", "LMX-0042"}).path();
    const QString logPath = bench.resourcesPath() + "/support/run.log";

    const CliResult result = bench.run({"update", "--log", logPath});

    ASSERT_EQ(result.exitCode, GetParam().exitCode) << result.err.toStdString();
    const QString log = readText(logPath);
    EXPECT_TRUE(log.contains(sha256Of(bench.imageBytes()))) << log.toStdString();
    EXPECT_TRUE(log.contains(QString::number(bench.imageBytes().size()) + " bytes")) << log.toStdString();
    EXPECT_TRUE(log.contains("interface: mcuboot_serial"));
    EXPECT_TRUE(log.contains(QDir(bench.resourcesPath()).filePath("config.ini")));
    EXPECT_TRUE(log.contains("unit seen: " + port + " 1209:4c55")) << log.toStdString();
    EXPECT_TRUE(log.contains(QRegularExpression(GetParam().outcome))) << log.toStdString();
    // Every line starts with a millisecond timestamp and a level.
    for (const QString& line : log.split('\n', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\S+ ")))
            << line.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CliSessionLog,
    ::testing::Values(OutcomeCase{"done", {}, 0, "update of \\S+ done after \\d+\\.\\d s"},
                      OutcomeCase{"identity", {}, 0, "unit \\S+: model identifier 7, serial number LMX-0042"},
                      OutcomeCase{"failed", {"--unplug-after-bytes", "9000"}, 1,
                                  "update of \\S+ FAILED after \\d+\\.\\d s"},
                      OutcomeCase{"refused", {"--model-id", "99"}, 4, "model identifier refused"}),
    [](const auto& info) { return std::string(info.param.name); });

struct MessageCase {
    const char* name;
    const char* extraIni;
    int imageSize;
    QStringList unitArguments;
    const char* line;
};

class CliSessionLogMessages : public ::testing::TestWithParam<MessageCase> {};

// Qt messages of the back-end and the bootloader client's dispatcher log
// lines reach the log with their level.
TEST_P(CliSessionLogMessages, KeepsTheLineWithItsLevel)
{
    CliBench bench(Backend::Uart, GetParam().extraIni, GetParam().imageSize);
    bench.plug(GetParam().unitArguments);
    const QString logPath = bench.resourcesPath() + "/run.log";

    const CliResult result = bench.run({"update", "--log", logPath});

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(readText(logPath).contains(QRegularExpression(GetParam().line))) << readText(logPath).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliSessionLogMessages,
    // Only an unchecked image is short enough to reach the back-end's own test.
    ::testing::Values(MessageCase{"qt_warning", "image_check=false\n", 4, {},
                                  " warning UartFirmwareUpdater: image too short"},
                      MessageCase{"dispatcher_error", "", CliBench::kImageSize, {"--nack-at-block", "1:50"},
                                  " dispatcher-3 \\S+"}),
    [](const auto& info) { return std::string(info.param.name); });

// Without --log the log goes to the application-data folder's logs/, where
// only the newest 50 are kept.
TEST(CliSessionLogContent, DefaultFolderKeepsTheNewestFifty)
{
    CliBench bench(Backend::Mcuboot);
    QDir folder(bench.cli().logFolder());
    ASSERT_TRUE(folder.mkpath("."));
    // Logs of earlier runs, last written to long ago.
    for (int i = 0; i < 55; ++i) {
        QFile log(folder.filePath(QStringLiteral("2001-01-01_00-00-%1.000-cli.log").arg(i, 2, 10, QChar('0'))));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        ASSERT_TRUE(log.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime));
    }

    ASSERT_EQ(bench.run({"list"}).exitCode, 0);

    const QStringList logs = folder.entryList({"*.log"}, QDir::Files, QDir::Name);
    ASSERT_EQ(logs.size(), 50);
    EXPECT_EQ(logs.first(), "2001-01-01_00-00-06.000-cli.log") << "the six oldest go";
    EXPECT_TRUE(readText(folder.filePath(logs.last())).contains("fwupdater-cli list"));
}

// A log that cannot be written does not stop the update; a person is told once.
TEST(CliSessionLogContent, UnwritableLogDoesNotStopTheUpdate)
{
    CliBench bench(Backend::Mcuboot);
    bench.plug();
    const QString blocker = bench.resourcesPath() + "/not-a-folder";
    QFile(blocker).open(QIODevice::WriteOnly);

    const CliResult result = bench.run({"update", "--log", blocker + "/run.log"});

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(bench.unitHoldsImage());
    EXPECT_EQ(result.err.count("Cannot write the session log"), 1) << result.err.toStdString();
}

} // namespace
