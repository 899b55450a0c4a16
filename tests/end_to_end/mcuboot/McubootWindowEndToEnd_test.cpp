#include "ButtonStyles.h"
#include "MainWindow.h"
#include "McubootSerialUpdater.h"
#include "McubootTestImage.h"
#include "QtMessageCapture.h"
#include "TempResources.h"
#include "UnitSimulator.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr const char* kUnitIds = "1209:4c55";

// The real window with the real MCUboot back-end on its worker thread, and
// simulated units on pseudo-terminals announced as virtual ports.
class McubootWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void start(int imageSize = 100 * 1024, const QString& deviceIds = "7, 12")
    {
        startWith(makeTestImage(imageSize), deviceIds);
    }

    void startWith(const QByteArray& firmware, const QString& deviceIds = "7, 12", bool verify = false)
    {
        resources = std::make_unique<TempResources>(
            QStringLiteral("interface=mcuboot_serial\nfirmware_filename=firmware.bin\nproduct_list=Unit:%1\n"
                           "device_id_list=%2\n").arg(kUnitIds, deviceIds));
        image = firmware;
        resources->writeFile("firmware.bin", image);
        auto* updater = new McubootSerialUpdater(resources->filePath("firmware.bin"), 921600, false, QString(), nullptr);
        updater->setVerifyAfterWrite(verify);
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(),
                                              resources->filePath("dfu-util-static"), InterfaceType::McubootSerial,
                                              updater);
        probe = std::make_unique<WindowProbe>(*window);
        window->show();
    }

    static void announce(const QStringList& paths)
    {
        QStringList entries;
        for (const QString& path : paths)
            entries << path + "=" + kUnitIds;
        qputenv(VirtualPorts::kEnvironmentVariable, entries.join(';').toUtf8());
    }

    bool waitForButton(const QString& text, bool enabled, int timeoutMs = 10000)
    {
        return waitUntil([&] { return probe->buttonText() == text && probe->buttonEnabled() == enabled; },
                         timeoutMs);
    }
    bool waitForReady() { return waitForButton("UPDATE", true); }
    bool waitForSearching(int timeoutMs = 10000)
    {
        return waitUntil([&] {
            return probe->buttonText() == "UPDATE" && !probe->buttonEnabled() && probe->progressFormat().isEmpty() &&
                   probe->progressValue() == 0;
        }, timeoutMs);
    }

    std::unique_ptr<TempResources> resources;
    QByteArray image;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

TEST_F(McubootWindow, UpdatesAUnitFromTheButtonToDone)
{
    start();
    UnitSimulator unit({"--model-id", "7", "--serial-number", "LMX-1"});
    ASSERT_TRUE(unit.isReady());
    announce({unit.path()});
    ASSERT_TRUE(waitForReady());
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);

    QList<int> seen;
    QObject::connect(probe->progress(), &QProgressBar::valueChanged, [&seen](int value) { seen << value; });
    probe->button()->click();
    EXPECT_FALSE(probe->buttonEnabled());
    ASSERT_TRUE(waitForButton("DONE", false, 30000));
    EXPECT_EQ(probe->progressValue(), 100);
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    EXPECT_GT(seen.size(), 2);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    ASSERT_TRUE(unit.waitForEvent("reset", 3000));
    EXPECT_EQ(unit.image(), image);
}

TEST_F(McubootWindow, UnplugGoesBackToSearchingAndTheNextUnitIsServed)
{
    start(4000);
    auto first = std::make_unique<UnitSimulator>(QStringList{"--model-id", "7"});
    const QString firstPath = first->path();
    announce({firstPath});
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForButton("DONE", false, 30000));

    first->unplug();
    EXPECT_FALSE(QFile::exists(firstPath));
    ASSERT_TRUE(waitForSearching());

    UnitSimulator next({"--model-id", "12"});
    ASSERT_TRUE(next.isReady());
    announce({firstPath, next.path()});
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForButton("DONE", false, 30000));
    EXPECT_EQ(next.image(), image);
}

TEST_F(McubootWindow, UnlistedModelIsRejected)
{
    start(2000);
    UnitSimulator unit({"--model-id", "99"});
    announce({unit.path()});
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_EQ(unit.image().size(), 0);
}

// Junk in device_id_list used to be read as model 0, so a unit of model 0 was
// accepted and written.
class JunkInDeviceIdList : public McubootWindow, public ::testing::WithParamInterface<const char*> {};

TEST_P(JunkInDeviceIdList, DoesNotAdmitAUnitOfModelZero)
{
    start(2000, QString::fromUtf8(GetParam()));
    UnitSimulator unit({"--model-id", "0"});
    announce({unit.path()});
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_EQ(unit.image().size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, JunkInDeviceIdList, ::testing::Values("7, twelve", "7, 12,", "x"));

// The counterpart: a 0 written out admits model 0, so the refusal above comes
// from the skipped entry and not from the unit.
TEST_F(McubootWindow, ExplicitZeroInDeviceIdListAdmitsAUnitOfModelZero)
{
    start(2000, "7, 0");
    UnitSimulator unit({"--model-id", "0"});
    announce({unit.path()});
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForButton("DONE", false, 30000));
    EXPECT_EQ(unit.image(), image);
}

TEST_F(McubootWindow, UnitThatStopsAnsweringEndsInFailedWhileTheWindowKeepsRunning)
{
    start(20 * 1024);
    // Requests 1 and 2 are the probe and the model read; the upload's fourth chunk gets no answer.
    UnitSimulator unit({"--model-id", "7", "--silent-from-request", "6"});
    announce({unit.path()});
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForButton("UPDATING", false));

    // The main thread is not held by the back-end: a timer fires while the update still waits.
    bool timerRan = false;
    bool stillUpdating = false;
    QTimer::singleShot(50, [&] {
        timerRan = true;
        stillUpdating = probe->progressFormat() != kWindowErrorText;
    });
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 15000));
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(stillUpdating);
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_EQ(unit.resetCount(), 0);
}

TEST_F(McubootWindow, TwoUnitsAtOnceConnectToNeither)
{
    start(2000);
    UnitSimulator a({"--model-id", "7"});
    UnitSimulator b({"--model-id", "7"});
    announce({a.path(), b.path()});
    // Detection runs every 2 s; over two rounds neither unit may be asked anything.
    EXPECT_FALSE(waitUntil([&] { return probe->buttonEnabled(); }, 4500));
    EXPECT_FALSE(a.log().contains("request")) << a.log().toStdString();
    EXPECT_FALSE(b.log().contains("request")) << b.log().toStdString();
}

struct BadUnitCase {
    const char* name;
    QStringList arguments;
};

class BadUnit : public McubootWindow, public ::testing::WithParamInterface<BadUnitCase> {};

// A unit that never answers or answers garbage is simply not connected: the
// window stays Searching and keeps asking.
TEST_P(BadUnit, StaysSearching)
{
    start(2000);
    UnitSimulator unit(GetParam().arguments);
    announce({unit.path()});
    ASSERT_TRUE(waitUntil([&] { return unit.log().count("request #") >= 2; }, 15000)) << unit.log().toStdString();
    EXPECT_TRUE(waitForSearching(100));
    EXPECT_EQ(probe->progressFormat(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, BadUnit,
                         ::testing::Values(BadUnitCase{"silent", {"--model-id", "7", "--silent-from-request", "1"}},
                                           BadUnitCase{"bad_crc", {"--model-id", "7", "--bad-crc-from-request", "1"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(McubootWindow, PortThatIsNotASerialDeviceIsNotConnected)
{
    start(2000);
    resources->writeFile("not-a-port", "plain file");
    announce({resources->filePath("not-a-port")});
    EXPECT_FALSE(waitUntil([&] { return probe->buttonEnabled(); }, 2500));
    EXPECT_TRUE(waitForSearching(100));
}

TEST_F(McubootWindow, ClosingDuringAnUpdateWaitsForItAndExitsCleanly)
{
    start(60 * 1024);
    UnitSimulator unit({"--model-id", "7", "--baud", "921600"});
    announce({unit.path()});
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitUntil([&] { return probe->progressValue() > 0; }, 10000));
    window.reset();  // waits for the upload, then stops the worker thread
    EXPECT_EQ(unit.image(), image);
    EXPECT_TRUE(unit.waitForEvent("reset", 2000));
}

struct VerifyCase {
    const char* name;
    bool verify;
    QStringList unitArguments;
    bool done;           // DONE, then the reset that boots the image
    const char* warning; // the start of the warning that says why, or nullptr
};

std::string verifyCaseName(const ::testing::TestParamInfo<VerifyCase>& info) { return info.param.name; }

class VerifyAfterUpload : public McubootWindow, public ::testing::WithParamInterface<VerifyCase> {};

// MCUboot lists slot 0 only for an image it validated, with the hash the
// image carries. With the key on, DONE and the reset wait for that listing;
// with it off, a unit that stored a chunk wrongly is reset as before.
TEST_P(VerifyAfterUpload, DoneOnlyWhenTheUnitListsTheImage)
{
    const VerifyCase& c = GetParam();
    startWith(makeMcubootTestImage(20000), "7", c.verify);
    QtMessageCapture messages;
    UnitSimulator unit(QStringList{"--model-id", "7"} + c.unitArguments);
    ASSERT_TRUE(unit.isReady());
    announce({unit.path()});
    ASSERT_TRUE(waitForReady());

    probe->button()->click();
    if (c.done) {
        ASSERT_TRUE(waitForButton("DONE", false, 30000));
        EXPECT_EQ(probe->progressValue(), 100);
        EXPECT_TRUE(unit.waitForEvent("reset", 3000));
    } else {
        ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 30000));
        EXPECT_NE(probe->buttonText(), "DONE");
        EXPECT_FALSE(unit.waitForEvent("reset", 1000)) << "the unit stays in its bootloader";
    }
    const QStringList warnings = messages.lines().filter("verify: ");
    if (c.warning) {
        ASSERT_EQ(warnings.size(), 1) << messages.lines().join('\n').toStdString();
        EXPECT_TRUE(warnings.first().startsWith(QString::fromUtf8(c.warning))) << warnings.first().toStdString();
    } else {
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyAfterUpload,
    ::testing::Values(
        VerifyCase{"off_corrupt_chunk_is_reset_anyway", false, {"--corrupt-chunk", "3"}, true, nullptr},
        VerifyCase{"on_validated_image", true, {}, true, nullptr},
        VerifyCase{"on_corrupt_chunk_fails", true, {"--corrupt-chunk", "3"}, false,
                   "warning: verify: the unit does not list the image in slot 0"},
        VerifyCase{"on_another_image_in_slot_zero_fails", true, {"--list-other-hash"}, false,
                   "warning: verify: slot 0 holds the image with hash a5a5"}),
    verifyCaseName);

} // namespace
