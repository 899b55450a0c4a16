#include "CliBench.h"
#include "McubootTestImage.h"
#include "WindowTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The read-back of one unit through fwupdater-cli: the config key, the
// options that override it, and what the done event and the log then say.
struct VerifyCase {
    const char* name;
    Backend backend;
    const char* ini;           // added to config.ini
    QStringList options;       // added to "update --json"
    QStringList unitArguments; // the unit's faults
    const char* dfuKey;        // USB: a fault of the simulated dfu-util, or nullptr
    QByteArray dfuValue;
    int exitCode;
    QJsonValue verified;
    bool holdsImage;
    const char* reason; // pattern the done event's reason matches, or nullptr
    const char* logged; // pattern a session-log line matches, or nullptr
    bool mcubootImage = false; // the image is in MCUboot's format
};

std::string caseName(const ::testing::TestParamInfo<VerifyCase>& info) { return info.param.name; }

class CliVerify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(CliVerify, DoneOnlyWhenTheReadBackMatches)
{
    const VerifyCase& c = GetParam();
    CliBench bench(c.backend, QString::fromUtf8(c.ini));
    if (c.mcubootImage)
        bench.replaceImage(makeMcubootTestImage(20000));
    else if (c.backend == Backend::Mcuboot)
        bench.replaceImage(makeTestImage(20000)); // plain bytes, passed by image_check=false
    if (c.backend == Backend::Usb) {
        bench.listDfuDevices("0483:df11");
        if (c.dfuKey)
            bench.setDfu(c.dfuKey, c.dfuValue);
    } else {
        ASSERT_TRUE(bench.plug(c.unitArguments).isReady());
    }
    const QString logPath = bench.resourcesPath() + "/run.log";

    const CliResult result = bench.run(QStringList{"update", "--json", "--log", logPath} + c.options);

    ASSERT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    const QJsonObject done = result.jsonLines().last();
    EXPECT_EQ(done["event"].toString(), "done");
    ASSERT_TRUE(done.contains("verified"));
    EXPECT_EQ(done["verified"], c.verified);
    EXPECT_EQ(bench.unitHoldsImage(), c.holdsImage);
    if (c.reason) {
        EXPECT_TRUE(done["reason"].toString().contains(QRegularExpression(c.reason))) << done["reason"].toString().toStdString();
    }
    const QString log = readText(logPath);
    if (c.logged) {
        EXPECT_TRUE(log.contains(QRegularExpression(c.logged))) << log.toStdString();
    } else {
        EXPECT_FALSE(log.contains("verification of")) << log.toStdString();
    }
    if (c.backend == Backend::Uart && c.exitCode != 0) {
        EXPECT_FALSE(bench.unit(0).events().join('\n').contains("go ")) << "no Go after a failed read-back";
    }
    if (c.backend == Backend::Mcuboot) {
        EXPECT_EQ(bench.unit(0).waitForEvent("reset", c.exitCode == 0 ? 5000 : 1000), c.exitCode == 0)
            << "reset only after a good read-back";
    }
}

const char* kOn = "verify_after_write=true\n";

INSTANTIATE_TEST_SUITE_P(
    Uart, CliVerify,
    ::testing::Values(
        VerifyCase{"uart_off_corrupt_unit_is_done_anyway", Backend::Uart, "", {}, {"--corrupt-block", "5"}, nullptr, {}, 0,
                   QJsonValue(), false, nullptr, nullptr},
        VerifyCase{"uart_key_on_good_unit", Backend::Uart, kOn, {}, {}, nullptr, {}, 0, true, true, nullptr,
                   "verification of \\S+: the unit holds the image, after \\d+\\.\\d\\d s"},
        VerifyCase{"uart_option_on_corrupt_unit", Backend::Uart, "", {"--verify"}, {"--corrupt-block", "5"}, nullptr, {}, 1,
                   false, false, "^verify: 0x08000400 holds 0x[0-9a-f]{2}, 0x[0-9a-f]{2} was written$",
                   "verification of \\S+: FAILED"},
        VerifyCase{"uart_no_verify_overrides_the_key", Backend::Uart, kOn, {"--no-verify"}, {"--corrupt-block", "5"},
                   nullptr, {}, 0, QJsonValue(), false, nullptr, nullptr},
        VerifyCase{"uart_refused_read_back", Backend::Uart, kOn, {}, {"--nack-reads-from", "17"}, nullptr, {}, 1, false, true,
                   "^verify: Read Memory at 0x08000000 failed: NACK received, command Read$",
                   "verification of \\S+: FAILED"}),
    caseName);

// The middle byte of the 24 KiB image, where the simulated tool's corrupt fault strikes.
INSTANTIATE_TEST_SUITE_P(
    Usb, CliVerify,
    ::testing::Values(
        VerifyCase{"usb_off_corrupt_unit_is_done_anyway", Backend::Usb, "", {}, {}, "DFU_SIM_DOWNLOAD_FAULT",
                   "corrupt", 0, QJsonValue(), false, nullptr, nullptr},
        VerifyCase{"usb_key_on_good_unit", Backend::Usb, kOn, {}, {}, nullptr, {}, 0, true, true, nullptr,
                   "verification of \\S+: the unit holds the image, after \\d+\\.\\d\\d s"},
        VerifyCase{"usb_option_on_corrupt_unit", Backend::Usb, "", {"--verify"}, {}, "DFU_SIM_DOWNLOAD_FAULT",
                   "corrupt", 1, false, false, "^verify: 0x08003000 holds 0x[0-9a-f]{2}, 0x[0-9a-f]{2} was written$",
                   "verification of \\S+: FAILED"},
        VerifyCase{"usb_unit_that_resets_itself_cannot_be_read_back", Backend::Usb, kOn, {}, {},
                   "DFU_SIM_DOWNLOAD_FAULT", "leave-anyway", 1, false, true,
                   "^verify: dfu-util-static could not read the image back .*No DFU capable USB device",
                   "verification of \\S+: FAILED"},
        VerifyCase{"usb_failed_leave", Backend::Usb, kOn, {}, {}, "DFU_SIM_LEAVE_FAULT", "nodevice", 1, true, true,
                   "could not make the unit leave DFU mode", "verification of \\S+: the unit holds the image"}),
    caseName);

// With verification the download keeps the unit in DFU mode; the read-back
// and the leave request follow, each naming the unit as the download did.
TEST(CliVerifyUsb, DownloadWithoutLeaveThenReadBackThenLeave)
{
    CliBench bench(Backend::Usb);
    bench.listDfuDevices("0483:df11,0483:df11");

    const CliResult result = bench.run({"update", "--verify", "--port", "1-2"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QList<QStringList> runs = bench.dfuRuns();
    runs.removeIf([](const QStringList& run) { return run.contains("-l"); });
    ASSERT_EQ(runs.size(), 4) << "model check, download, read-back, leave";
    const QStringList unit{"-d", "0483:df11", "-p", "1-2"};
    const QStringList download = unit + QStringList{"-a", "0", "-s", "0X08000000:fast", "-D"};
    const QStringList readBack = unit + QStringList{"-a", "0", "-s", "0x08000000:24576", "-U"};
    const QStringList leave = unit + QStringList{"-a", "0", "-s", "0x08000000:leave"};
    EXPECT_EQ(runs[1].mid(0, download.size()), download);
    EXPECT_EQ(runs[2].mid(0, readBack.size()), readBack);
    EXPECT_EQ(runs[3], leave);
    // The read-back went into a private folder that is gone again.
    const QFileInfo readBackFile(runs[2].last());
    EXPECT_FALSE(readBackFile.exists());
    EXPECT_FALSE(readBackFile.dir().exists());
    EXPECT_TRUE(bench.unitHoldsImage(1));
}

// MCUboot lists an image only after validating it; its hash is the one the
// image carries. A unit that stored one chunk wrongly does not list it.
INSTANTIATE_TEST_SUITE_P(
    Mcuboot, CliVerify,
    ::testing::Values(
        VerifyCase{"mcuboot_off_corrupt_unit_is_done_anyway", Backend::Mcuboot, "", {}, {"--corrupt-chunk", "3"},
                   nullptr, {}, 0, QJsonValue(), false, nullptr, nullptr, true},
        VerifyCase{"mcuboot_key_on_validated_image", Backend::Mcuboot, kOn, {}, {}, nullptr, {}, 0, true, true,
                   nullptr, "verification of \\S+: the unit holds the image, after \\d+\\.\\d\\d s", true},
        VerifyCase{"mcuboot_option_on_corrupt_chunk", Backend::Mcuboot, "", {"--verify"}, {"--corrupt-chunk", "3"},
                   nullptr, {}, 1, false, false, "^verify: the unit does not list the image in slot 0",
                   "verification of \\S+: FAILED", true},
        VerifyCase{"mcuboot_slot_zero_lists_another_image", Backend::Mcuboot, kOn, {}, {"--list-other-hash"}, nullptr,
                   {}, 1, false, true,
                   "^verify: slot 0 holds the image with hash (a5){32}, the image written has [0-9a-f]{64}$",
                   "verification of \\S+: FAILED", true},
        VerifyCase{"mcuboot_image_not_in_mcuboot_format", Backend::Mcuboot, "verify_after_write=true\nimage_check=false\n", {}, {}, nullptr, {}, 0, QJsonValue(),
                   true, nullptr, "verification of \\S+: not verified", false}),
    caseName);

// update --all --verify: each unit's row in the report says whether its
// read-back matched.
TEST(CliVerifyAll, ReportHasAVerifiedColumn)
{
    CliBench bench(Backend::Uart);
    const QString good = bench.plug().path();
    const QString corrupt = bench.plug({"--corrupt-block", "3"}).path();
    const QString report = bench.resourcesPath() + "/line.csv";

    const CliResult result = bench.run({"update", "--all", "--verify", "--report", report, "--json"});

    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    const QStringList rows = readText(report).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << rows.join('\n').toStdString();
    EXPECT_TRUE(rows[0].endsWith(",host_name,version,verified"));
    const QStringList goodRow = rows.filter(good);
    const QStringList corruptRow = rows.filter(corrupt);
    ASSERT_EQ(goodRow.size(), 1);
    ASSERT_EQ(corruptRow.size(), 1);
    EXPECT_TRUE(goodRow.first().endsWith(",yes")) << goodRow.first().toStdString();
    EXPECT_TRUE(corruptRow.first().contains(",failed,\"verify: ")) << corruptRow.first().toStdString();
    EXPECT_TRUE(corruptRow.first().endsWith(",no")) << corruptRow.first().toStdString();
    EXPECT_TRUE(bench.unitHoldsImage(0));
    EXPECT_FALSE(bench.unitHoldsImage(1));
}

} // namespace
