#include "ButtonStyles.h"
#include "DfuSimEnvironment.h"
#include "MainWindow.h"
#include "TempResources.h"
#include "UsbFirmwareUpdater.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr const char* kDfuBootloader = "0483:df11";
constexpr std::uint32_t kProgrammingAddress = 0x08000000;
constexpr std::uint32_t kOtpAddress = 0x1FFF7000;
constexpr std::uint64_t kOtpSize = 512;

using Settings = QList<std::pair<const char*, QByteArray>>;

// The real window in USB mode with the real USB back-end on its worker thread;
// the simulated dfu-util stands in for the tool both of them run.
class UsbWindow : public ::testing::Test {
protected:
    void TearDown() override { window.reset(); }

    // Settings of the simulated tool go in before the window's first check.
    void start(const Settings& settings, int imageSize = 16 * 1024)
    {
        sim.set("DFU_SIM_DEVICES", kDfuBootloader);
        sim.set("DFU_SIM_MODEL_ID", "7");
        sim.set("DFU_SIM_DOWNLOAD_COPY", received().toLocal8Bit());
        for (const auto& [name, value] : settings)
            sim.set(name, value);
        resources = std::make_unique<TempResources>(
            QStringLiteral("interface=usb\nfirmware_filename=firmware.bin\nproduct_list=STM32 DFU:%1\n"
                           "device_id_list=7, 12\n").arg(kDfuBootloader));
        image = makeTestImage(imageSize);
        resources->writeFile("firmware.bin", image);
        const QString tool = DfuSimEnvironment::toolPath();
        updater = new UsbFirmwareUpdater(resources->filePath("firmware.bin"), tool, kProgrammingAddress,
                                         kOtpAddress, kOtpSize, QStringLiteral("production"), nullptr);
        updater->setVerifyAfterWrite(verify);
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(), tool, InterfaceType::Usb,
                                              updater);
        probe = std::make_unique<WindowProbe>(*window);
        window->show();
    }

    QString received() const { return sim.filePath(QStringLiteral("received.bin")); }

    // Runs of the tool whose arguments include the option.
    QList<QStringList> runsWith(const QString& option) const
    {
        QList<QStringList> matching;
        for (const QStringList& run : sim.runs()) {
            if (run.contains(option))
                matching.append(run);
        }
        return matching;
    }

    bool waitForButton(const QString& text, bool enabled, int timeoutMs = 10000)
    {
        return waitUntil([&] { return probe->buttonText() == text && probe->buttonEnabled() == enabled; },
                         timeoutMs);
    }

    bool verify = false; // verify_after_write of the next start()
    DfuSimEnvironment sim;
    std::unique_ptr<TempResources> resources;
    QByteArray image;
    UsbFirmwareUpdater* updater = nullptr;  // owned by the window
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

TEST_F(UsbWindow, OneListedUnitIsVerifiedOnceAndMadeReady)
{
    start({});
    ASSERT_TRUE(waitForButton("UPDATE", true));
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    EXPECT_EQ(probe->progressFormat(), "");

    // Detection ends with the request: over more than one polling interval
    // nothing else runs the tool.
    const qsizetype runsWhenReady = sim.runs().size();
    EXPECT_FALSE(waitUntil([&] { return sim.runs().size() > runsWhenReady; }, 2500));
    EXPECT_EQ(runsWith("-l"), (QList<QStringList>{{"-l", "-a0"}}));
    const QList<QStringList> otpReads = runsWith("-U");
    ASSERT_EQ(otpReads.size(), 1);
    const QStringList& read = otpReads.first();
    EXPECT_EQ(read.mid(0, 6), (QStringList{"-d", kDfuBootloader, "-a", "2", "-s", "0x1fff7000:512"}));
    EXPECT_TRUE(runsWith("-D").isEmpty());
    EXPECT_FALSE(QFile::exists(read.value(7))) << "the OTP file is removed after the check";
}

TEST_F(UsbWindow, UpdateGoesFromErasingThroughProgressToDone)
{
    // Phases long enough that the runner's one-second poll sees both.
    start({{"DFU_SIM_ERASE_MS", "1500"}, {"DFU_SIM_DOWNLOAD_MS", "3000"}, {"DFU_SIM_STEPS", "12"}}, 96 * 1024);
    ASSERT_TRUE(waitForButton("UPDATE", true));

    // Queued after the window's own slots, so each snapshot shows the bar just
    // as the window left it for that signal, before later progress arrives.
    QProgressBar* bar = probe->progress();
    QList<std::pair<QString, int>> afterErase;
    QList<std::pair<QString, int>> values;
    auto snapshot = [bar, &afterErase] { afterErase.append({bar->format(), bar->value()}); };
    QObject::connect(updater, &FirmwareUpdaterBase::EraseStarted, bar, snapshot);
    QObject::connect(updater, &FirmwareUpdaterBase::EraseFinished, bar, snapshot);
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [bar, &values](int value) {
        values.append({bar->format(), value});
    });

    probe->button()->click();
    EXPECT_FALSE(probe->buttonEnabled());
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == "Erasing"; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    ASSERT_TRUE(waitForButton("DONE", false, 30000));
    EXPECT_EQ(probe->progressValue(), 100);
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);

    ASSERT_EQ(afterErase.size(), 2);
    EXPECT_EQ(afterErase[0], (std::pair<QString, int>{"Erasing", 0}));
    EXPECT_EQ(afterErase[1], (std::pair<QString, int>{"%p%", 0}));
    ASSERT_FALSE(values.isEmpty());
    EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](const auto& seen) { return seen.first == "%p%"; }));
    EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                            [](const auto& seen) { return seen.second > 0 && seen.second < 100; }))
        << "no progress between erase and done";
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; }));

    QFile copy(received());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), image);
    const QList<QStringList> downloads = runsWith("-D");
    ASSERT_EQ(downloads.size(), 1);
    // The tool reads a private copy of the bytes read at the click.
    EXPECT_EQ(downloads.first().mid(0, 7),
              (QStringList{"-d", kDfuBootloader, "-a", "0", "-s", "0X08000000:fast:leave", "-D"}));
    EXPECT_EQ(downloads.first().size(), 8);
    EXPECT_NE(downloads.first().last(), resources->filePath("firmware.bin"));
    // Still one listing and one model check: the update did not restart detection.
    EXPECT_EQ(runsWith("-l").size(), 1);
    EXPECT_EQ(runsWith("-U").size(), 1);
}

// Closing the window must not cut a flash short: the download runs in the tool
// while the worker thread idles, so the window waits for its end before it stops
// the thread and destroys the back-end (which would kill the tool).
TEST_F(UsbWindow, ClosingDuringADownloadLetsTheToolFinish)
{
    start({{"DFU_SIM_ERASE_MS", "300"}, {"DFU_SIM_DOWNLOAD_MS", "2000"}});
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == "Erasing"; }, 10000));
    window.reset();
    QFile copy(received());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << "the tool was stopped before it wrote anything";
    EXPECT_EQ(copy.readAll(), image);
}

// Closed at once after the click, before UpdateStarted is back: the window
// still waits for the download the back-end is about to start.
TEST_F(UsbWindow, ClosingRightAfterTheClickLetsTheToolFinish)
{
    start({{"DFU_SIM_ERASE_MS", "300"}, {"DFU_SIM_DOWNLOAD_MS", "1500"}});
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    window.reset();
    QFile copy(received());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << "the tool was stopped or never started";
    EXPECT_EQ(copy.readAll(), image);
    EXPECT_EQ(runsWith("-D").size(), 1);
}

// A tool that stops talking in the middle of the download is ended after the
// stall bound: the window shows the failure, and closing it does not hang.
TEST_F(UsbWindow, HungToolEndsInFailedAndClosingWaitsNoLongerThanTheBound)
{
    constexpr int kStallMs = 2000;
    start({{"DFU_SIM_DOWNLOAD_FAULT", "stall"}, {"DFU_SIM_DOWNLOAD_MS", "400"}});
    updater->setStallTimeoutMs(kStallMs);
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 30000));
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_LT(probe->progressValue(), 100);

    // Again, closing while the hung tool still holds the download.
    window.reset();
    start({{"DFU_SIM_DOWNLOAD_FAULT", "stall"}, {"DFU_SIM_DOWNLOAD_MS", "400"}});
    updater->setStallTimeoutMs(kStallMs);
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressValue() > 0; }, 10000));
    QElapsedTimer closing;
    closing.start();
    window.reset();
    std::printf("[ figure ] closing with a hung tool took %lld ms (bound %d ms)\n", closing.elapsed(), kStallMs);
    EXPECT_LT(closing.elapsed(), kStallMs + 10000);
}

struct ListingCase {
    const char* name;
    const char* devices;
    bool connects;
};

class UsbListing : public UsbWindow, public ::testing::WithParamInterface<ListingCase> {};

// Only a listing with exactly one recognised unit leads to a connection;
// otherwise the window asks the tool again and touches no unit.
TEST_P(UsbListing, ConnectsOnlyToASingleRecognisedUnit)
{
    start({{"DFU_SIM_DEVICES", GetParam().devices}});
    if (GetParam().connects) {
        ASSERT_TRUE(waitForButton("UPDATE", true));
        EXPECT_EQ(runsWith("-U").size(), 1);
        return;
    }
    ASSERT_TRUE(waitUntil([&] { return runsWith("-l").size() >= 3; }, 15000));
    EXPECT_TRUE(runsWith("-U").isEmpty());
    EXPECT_TRUE(runsWith("-D").isEmpty());
    EXPECT_EQ(probe->buttonText(), "UPDATE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->progressFormat(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbListing,
    ::testing::Values(ListingCase{"two_units", "0483:df11,0483:df11", false},
                      ListingCase{"foreign_unit_only", "1d50:6017", false},
                      ListingCase{"nothing_listed", "", false},
                      ListingCase{"one_unit_beside_a_foreign_one", "1d50:6017,0483:DF11", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    Settings settings;
};

class UsbRefusal : public UsbWindow, public ::testing::WithParamInterface<RefusalCase> {};

// A unit whose model cannot be confirmed is refused and nothing is written to it.
TEST_P(UsbRefusal, ShowsTheErrorAndKeepsTheButtonDisabled)
{
    start(GetParam().settings);
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_EQ(runsWith("-U").size(), 1);
    EXPECT_TRUE(runsWith("-D").isEmpty());
    EXPECT_FALSE(QFile::exists(received()));
}

// The crashed read leaves only the first half of the block; the model record
// sits in the last entry, which the tool never wrote.
INSTANTIATE_TEST_SUITE_P(
    Cases, UsbRefusal,
    ::testing::Values(RefusalCase{"unlisted_model", {{"DFU_SIM_MODEL_ID", "99"}}},
                      RefusalCase{"no_model_record", {{"DFU_SIM_MODEL_ID", "-1"}}},
                      RefusalCase{"otp_read_crashes_before_the_record", {{"DFU_SIM_UPLOAD_FAULT", "crash"}}},
                      RefusalCase{"unit_gone_before_otp_read", {{"DFU_SIM_UPLOAD_FAULT", "nodevice"}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DownloadFaultCase {
    const char* name;
    const char* fault;
    bool done;
};

class UsbDownloadFault : public UsbWindow, public ::testing::WithParamInterface<DownloadFaultCase> {};

// A download the tool does not complete ends Failed; a complaint after the
// whole image was written (the unit already left DFU mode) still ends Done.
TEST_P(UsbDownloadFault, EndsInTheRightOutcome)
{
    start({{"DFU_SIM_DOWNLOAD_FAULT", GetParam().fault}});
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->buttonText() == "DONE" || probe->progressFormat() == kWindowErrorText; },
                          30000));
    if (GetParam().done) {
        EXPECT_EQ(probe->buttonText(), "DONE");
        EXPECT_EQ(probe->progressValue(), 100);
        QFile copy(received());
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), image);
        return;
    }
    EXPECT_EQ(probe->progressFormat(), kWindowErrorText);
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_LT(probe->progressValue(), 100);
    EXPECT_EQ(runsWith("-D").size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbDownloadFault,
                         ::testing::Values(DownloadFaultCase{"tool_crashes", "crash", false},
                                           DownloadFaultCase{"tool_aborts", "abort", false},
                                           DownloadFaultCase{"transfer_error_exit", "exit", false},
                                           DownloadFaultCase{"unit_gone", "nodevice", false},
                                           DownloadFaultCase{"error_after_leave", "leave-error", true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct VerifyCase {
    const char* name;
    bool verify;
    Settings settings;
    bool done;
    bool leaveRun; // a run of its own makes the unit leave DFU mode
};

class UsbVerify : public UsbWindow, public ::testing::WithParamInterface<VerifyCase> {};

// With the key on the download keeps the unit in DFU mode, the image is read
// back and compared, and only then is the unit told to leave; DONE needs all
// three. With it off a unit that stores a byte wrongly is Done as before.
TEST_P(UsbVerify, DoneOnlyWhenTheReadBackMatches)
{
    const VerifyCase& c = GetParam();
    verify = c.verify;
    start(c.settings);
    ASSERT_TRUE(waitForButton("UPDATE", true));
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->buttonText() == "DONE" || probe->progressFormat() == kWindowErrorText; },
                          30000));
    EXPECT_EQ(probe->buttonText() == "DONE", c.done);
    EXPECT_EQ(probe->progressValue() == 100, c.done);
    const QList<QStringList> downloads = runsWith("-D");
    ASSERT_EQ(downloads.size(), 1);
    EXPECT_EQ(downloads.first().contains("0X08000000:fast:leave"), !c.verify) << downloads.first().join(' ').toStdString();
    EXPECT_EQ(runsWith("0x08000000:leave").size(), c.leaveRun ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbVerify,
    ::testing::Values(
        VerifyCase{"off_corrupt_unit_is_done_anyway", false, {{"DFU_SIM_DOWNLOAD_FAULT", "corrupt"}}, true, false},
        VerifyCase{"on_good_unit", true, {}, true, true},
        VerifyCase{"on_corrupt_unit_is_not_told_to_leave", true, {{"DFU_SIM_DOWNLOAD_FAULT", "corrupt"}}, false, false},
        VerifyCase{"on_unit_that_left_by_itself", true, {{"DFU_SIM_DOWNLOAD_FAULT", "leave-anyway"}}, false, false},
        VerifyCase{"on_failed_leave", true, {{"DFU_SIM_LEAVE_FAULT", "nodevice"}}, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
