#include "ButtonStyles.h"
#include "MainWindow.h"
#include "QtMessageCapture.h"
#include "TempResources.h"
#include "TrailerFlag.h"
#include "UartFirmwareUpdater.h"
#include "UnitSimulator.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

constexpr const char* kUnitIds = "1209:4c55";
constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kOtpAddress = 0x1FFF7000;
constexpr std::uint64_t kOtpSize = 512;
constexpr std::uint32_t kMarkerAddress = 0x0807F800;
constexpr qsizetype kTrailerSize = 8;
constexpr int kImageSize = 20 * 1024;

// The number after `prefix` in the first matching event line ("go 0x08000000").
std::optional<std::uint32_t> eventAddress(UnitSimulator& unit, const QString& prefix)
{
    for (const QString& line : unit.events()) {
        if (!line.startsWith(prefix + ' '))
            continue;
        bool ok = false;
        const std::uint32_t address = line.section(' ', 1, 1).toUInt(&ok, 0);
        if (ok)
            return address;
    }
    return std::nullopt;
}

// How the window looked right after it had handled a report of the back-end.
struct WindowSnapshot {
    QString buttonText;
    bool buttonEnabled = false;
    QString buttonStyle;
    QString progressFormat;
};

// The real window with the real UART back-end on its worker thread, and
// simulated STM32 bootloaders on pseudo-terminals announced as virtual ports.
class UartWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void start(int imageSize = kImageSize, std::uint32_t programmingAddress = kFlashBase,
               std::uint64_t otpSize = kOtpSize, std::uint32_t markerAddress = kMarkerAddress)
    {
        resources = std::make_unique<TempResources>(
            QStringLiteral("interface=uart\nfirmware_filename=firmware.bin\nproduct_list=Unit:%1\n"
                           "device_id_list=7, 12\n").arg(kUnitIds));
        image = makeTestImage(imageSize);
        resources->writeFile("firmware.bin", image);
        updater = new UartFirmwareUpdater(resources->filePath("firmware.bin"), programmingAddress, programmingAddress,
                                          kOtpAddress, otpSize, markerAddress, QStringLiteral("application"), nullptr);
        updater->setVerifyAfterWrite(verify);
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(),
                                              resources->filePath("dfu-util-static"), InterfaceType::Uart, updater);
        probe = std::make_unique<WindowProbe>(*window);
        recordReports();
        window->show();
    }

    // Connected after the window's own connections, so each snapshot is taken
    // once the window has handled the same report; a Failed state that the
    // next check replaces with Searching is still seen.
    void recordReports()
    {
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateStarted, probe->button(),
                         [this] { afterStarted = snapshot(); });
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateFinished, probe->button(), [this](bool status) {
            finishedStatus = status;
            afterFinished = snapshot();
        });
        QObject::connect(probe->progress(), &QProgressBar::valueChanged, [this](int value) { progressSeen << value; });
    }

    WindowSnapshot snapshot() const
    {
        return {probe->buttonText(), probe->buttonEnabled(), probe->buttonStyle(), probe->progressFormat()};
    }

    static void announce(const QString& path)
    {
        qputenv(VirtualPorts::kEnvironmentVariable, (path + "=" + kUnitIds).toUtf8());
    }

    bool waitForReady()
    {
        return waitUntil([&] { return probe->buttonText() == "UPDATE" && probe->buttonEnabled(); }, 10000);
    }
    bool waitForFinished() { return waitUntil([&] { return finishedStatus.has_value(); }, 60000); }

    // Announces the unit, presses UPDATE once it is Ready and waits for the end.
    void updateUnit(UnitSimulator& unit)
    {
        ASSERT_TRUE(unit.isReady());
        announce(unit.path());
        ASSERT_TRUE(waitForReady());
        EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
        probe->button()->click();
        EXPECT_FALSE(probe->buttonEnabled());
        ASSERT_TRUE(waitForFinished());
    }

    QByteArray flashAt(UnitSimulator& unit, std::uint32_t address, qsizetype size) const
    {
        return unit.image().mid(address - kFlashBase, size);
    }

    std::unique_ptr<TempResources> resources;
    QByteArray image;
    UartFirmwareUpdater* updater = nullptr;  // owned by the window
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
    std::optional<WindowSnapshot> afterStarted;
    std::optional<WindowSnapshot> afterFinished;
    std::optional<bool> finishedStatus;
    QList<int> progressSeen;
    bool verify = false; // verify_after_write of the next start()
};

// A unit made with extra simulator options, named for the test's title.
struct UnitCase {
    const char* name;
    QStringList arguments;
};

std::string caseName(const ::testing::TestParamInfo<UnitCase>& info) { return info.param.name; }

class GoodUnit : public UartWindow, public ::testing::WithParamInterface<UnitCase> {};

// From Ready through UPDATING with a percentage to DONE, and the unit holds
// the image, its trailer flag, the boot-mode marker, and was started.
TEST_P(GoodUnit, IsUpdatedFromTheButtonToDone)
{
    start();
    UnitSimulator unit(QStringList{"--mode", "stm32", "--model-id", "7"} + GetParam().arguments);
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));

    ASSERT_TRUE(afterStarted.has_value());
    EXPECT_EQ(afterStarted->buttonText, "UPDATING");
    EXPECT_EQ(afterStarted->buttonStyle, kButtonEnabledStyle);
    EXPECT_EQ(afterStarted->progressFormat, "%p%");
    EXPECT_FALSE(afterStarted->buttonEnabled);

    EXPECT_TRUE(*finishedStatus);
    EXPECT_EQ(probe->buttonText(), "DONE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonEnabledStyle);
    EXPECT_EQ(probe->progressValue(), 100);
    EXPECT_GT(progressSeen.size(), 2);
    EXPECT_TRUE(std::is_sorted(progressSeen.begin(), progressSeen.end()));

    ASSERT_TRUE(unit.waitForEvent("go", 3000));
    EXPECT_EQ(eventAddress(unit, "go"), kFlashBase);
    EXPECT_EQ(flashAt(unit, kFlashBase, image.size()), withTrailerFlag(image));
    EXPECT_EQ(flashAt(unit, kFlashBase + image.size(), 16), QByteArray(16, '\xff'));
    EXPECT_EQ(flashAt(unit, kMarkerAddress, 4), QByteArray("PUWF"));
    EXPECT_EQ(eventAddress(unit, "marker"), kMarkerAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoodUnit,
    ::testing::Values(UnitCase{"plain", {}},
                      UnitCase{"at_line_speed", {"--baud", "460800"}},
                      // A few NACKs on one block are retried and the update still ends well.
                      UnitCase{"transient_nacks", {"--nack-at-block", "5:3"}},
                      // Stray ACKs after the last OTP read wait until the click; they
                      // must not answer the update's commands (nor hide a refused block).
                      UnitCase{"stray_acks_after_the_model_check", {"--stray-after-read", "16:4", "--nack-at-block", "5:1"}}),
    caseName);

// The flash holds an older program, and the image goes above a region that
// must survive (a boot loader of the unit's own): only the image's pages are
// erased, and every one of them is.
TEST_F(UartWindow, ImageAbove0x08000000ErasesOnlyItsOwnPages)
{
    constexpr std::uint32_t kAddress = 0x08004000;
    constexpr int kSize = 20000;
    constexpr qsizetype kOldDataSize = 0x10000;
    start(kSize, kAddress);
    UnitSimulator unit({"--mode", "stm32", "--model-id", "7", "--old-data", "0x08000000:0x10000"});
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));

    EXPECT_TRUE(*finishedStatus);
    ASSERT_TRUE(unit.waitForEvent("go", 3000));
    EXPECT_EQ(eventAddress(unit, "go"), kAddress);
    EXPECT_EQ(flashAt(unit, kFlashBase, 0x4000), QByteArray(0x4000, char(0x5A))) << "the region below was wiped";
    EXPECT_EQ(flashAt(unit, kAddress, image.size()), withTrailerFlag(image));
    // The last page of the image is erased to its end; the pages after it keep the old program.
    const std::uint32_t imageEnd = kAddress + kSize;
    const std::uint32_t pagesEnd = kFlashBase + 18 * 0x800;
    EXPECT_EQ(flashAt(unit, imageEnd, pagesEnd - imageEnd), QByteArray(pagesEnd - imageEnd, '\xff'));
    EXPECT_EQ(flashAt(unit, pagesEnd, kFlashBase + kOldDataSize - pagesEnd),
              QByteArray(kFlashBase + kOldDataSize - pagesEnd, char(0x5A)));
    EXPECT_FALSE(unit.log().contains("not erased")) << unit.log().toStdString();
}

struct MarkerCase {
    const char* name;
    int imageSize;
    std::uint32_t markerAddress;
};

class ImageOverTheMarker : public UartWindow, public ::testing::WithParamInterface<MarkerCase> {};

// An image over the boot-mode marker would have "PUWF" written over bytes that
// were never erased: such an image, written as it is, is refused before
// anything is erased, with the reason in the message log.
TEST_P(ImageOverTheMarker, IsRefusedBeforeAnyErase)
{
    const MarkerCase& c = GetParam();
    start(c.imageSize, kFlashBase, kOtpSize, c.markerAddress);
    UnitSimulator unit({"--mode", "stm32", "--model-id", "7", "--erase-command", "erase", "--old-data",
                        "0x08000000:0x80000"});
    QtMessageCapture messages;
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));

    EXPECT_FALSE(*finishedStatus);
    EXPECT_EQ(probe->progressFormat(), kWindowErrorText);
    EXPECT_EQ(unit.image(), QByteArray(0x80000, char(0x5A))) << "the old program was touched";
    EXPECT_FALSE(unit.log().contains("Erase")) << unit.log().toStdString();
    EXPECT_FALSE(eventAddress(unit, "write").has_value());
    EXPECT_FALSE(eventAddress(unit, "marker").has_value());
    const QString marker = QStringLiteral("covers the boot-mode marker at 0x%1").arg(c.markerAddress, 8, 16, QChar('0'));
    EXPECT_TRUE(messages.lines().join('\n').contains(marker)) << messages.lines().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageOverTheMarker,
    ::testing::Values(
        // The image that fills the flash, as it is (the marker's word included).
        MarkerCase{"whole_flash", 512 * 1024, kMarkerAddress},
        // A small image with the marker on its fifth page, all in the first bank.
        MarkerCase{"marker_inside_a_small_image", kImageSize, kFlashBase + 0x2000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UartWindow, ImageNotAWholeWordIsPaddedWithZeros)
{
    start(kImageSize + 3);
    UnitSimulator unit({"--mode", "stm32", "--model-id", "12"});
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));
    EXPECT_TRUE(*finishedStatus);
    const QByteArray padded = image + QByteArray(1, '\0');
    EXPECT_EQ(flashAt(unit, kFlashBase, padded.size()), withTrailerFlag(padded));
}

// An otp_size of 4294967295 used to keep detection reading for ever; only the
// 512 bytes the model check uses are read, so the unit is found and updated.
TEST_F(UartWindow, HugeOtpSizeStillFindsAndUpdatesTheUnit)
{
    start(kImageSize, kFlashBase, 4294967295u);
    UnitSimulator unit({"--mode", "stm32", "--model-id", "7"});
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));
    EXPECT_TRUE(*finishedStatus);
    EXPECT_EQ(probe->buttonText(), "DONE");
    EXPECT_EQ(flashAt(unit, kFlashBase, image.size()), withTrailerFlag(image));
}

class RefusedUnit : public UartWindow, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(RefusedUnit, IsRejectedAndNothingIsWritten)
{
    start();
    UnitSimulator unit(QStringList{"--mode", "stm32"} + GetParam().arguments);
    ASSERT_TRUE(unit.isReady());
    announce(unit.path());
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(probe->buttonStyle(), kButtonDisabledStyle);
    EXPECT_FALSE(unit.log().isEmpty());  // the OTP block was really asked for
    EXPECT_EQ(unit.image(), QByteArray(unit.image().size(), '\xff'));
    EXPECT_FALSE(eventAddress(unit, "write").has_value());
}

// The window asks a refused unit again every 2 s. Its bootloader is still
// listening from the first handshake, and the error text must stay.
TEST_F(UartWindow, RefusedUnitStillShowsTheErrorTextLater)
{
    start();
    UnitSimulator unit({"--mode", "stm32", "--model-id", "99"});
    ASSERT_TRUE(unit.isReady());
    announce(unit.path());
    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));

    bool wentBlank = false;
    waitUntil([&] {
        wentBlank = wentBlank || probe->progressFormat() != kWindowErrorText;
        return false;
    }, 15000);

    EXPECT_FALSE(wentBlank);
    EXPECT_EQ(probe->progressFormat(), kWindowErrorText);
    const QStringList log = unit.log().split('\n');
    EXPECT_GE(log.filter("Read Memory").size(), 2) << "asked again";
    for (const QString& line : log.filter(QRegularExpression("bad complement|unsupported command")))
        EXPECT_TRUE(line.contains("command 0x7f with bad complement 0x7f")) << line.toStdString();
    EXPECT_EQ(unit.image(), QByteArray(unit.image().size(), '\xff'));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedUnit,
                         ::testing::Values(UnitCase{"unlisted_model", {"--model-id", "99"}},
                                           UnitCase{"no_model_stored", {}}),
                         caseName);

class BrokenWrite : public UartWindow, public ::testing::WithParamInterface<UnitCase> {};

// The write breaks off: the window shows Failed and the unit never got the
// trailer flag, the marker or a Go, so it stays in its bootloader.
TEST_P(BrokenWrite, EndsInFailedWithoutTheTrailerFlag)
{
    start();
    UnitSimulator unit(QStringList{"--mode", "stm32", "--model-id", "7"} + GetParam().arguments);
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));

    EXPECT_FALSE(*finishedStatus);
    ASSERT_TRUE(afterFinished.has_value());
    EXPECT_EQ(afterFinished->progressFormat, kWindowErrorText);
    EXPECT_EQ(afterFinished->buttonText, "UPDATING");
    EXPECT_FALSE(afterFinished->buttonEnabled);
    EXPECT_EQ(afterFinished->buttonStyle, kButtonDisabledStyle);

    EXPECT_TRUE(eventAddress(unit, "write").has_value());  // the write had begun
    EXPECT_EQ(flashAt(unit, kFlashBase + image.size() - kTrailerSize, kTrailerSize),
              QByteArray(kTrailerSize, '\xff'));
    EXPECT_EQ(flashAt(unit, kMarkerAddress, 4), QByteArray(4, '\xff'));
    EXPECT_FALSE(eventAddress(unit, "marker").has_value());
    EXPECT_FALSE(eventAddress(unit, "go").has_value());
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenWrite,
                         ::testing::Values(UnitCase{"nack_storm", {"--nack-at-block", "5:1000"}},
                                           UnitCase{"unplug_during_write", {"--unplug-after-blocks", "10"}}),
                         caseName);

// The fifth 256-byte block, where --corrupt-block 5 stores its first byte XOR 0x5A.
constexpr std::uint32_t kCorruptAddress = kFlashBase + 4 * 256;
// The model check reads the 512 OTP bytes in 16 reads; the 17th is the first read-back.
const QString kFirstReadBack = QStringLiteral("17");

struct VerifyCase {
    const char* name;
    bool verify;
    QStringList unitArguments;
    bool done;          // DONE, then the marker and Go
    bool holdsImage;    // the flash holds the image with its trailer flag
    bool corrupt;       // the log names the corrupt byte
    const char* reason; // else: the warning that names why, or nullptr
    int readBacks;      // answered Read Memory commands of 256 bytes; -1: the whole image
};

std::string verifyCaseName(const ::testing::TestParamInfo<VerifyCase>& info) { return info.param.name; }

class VerifyAfterWrite : public UartWindow, public ::testing::WithParamInterface<VerifyCase> {
protected:
    QString corruptByteWarning() const
    {
        const auto written = static_cast<std::uint8_t>(image[kCorruptAddress - kFlashBase]);
        return QStringLiteral("warning: verify: 0x%1 holds 0x%2, 0x%3 was written")
            .arg(kCorruptAddress, 8, 16, QLatin1Char('0'))
            .arg(written ^ 0x5A, 2, 16, QLatin1Char('0'))
            .arg(written, 2, 16, QLatin1Char('0'));
    }
};

// With the key off a unit that stores a block wrongly is started with a
// corrupt image, as before; with it on, the read-back catches it: no marker,
// no Go, no DONE.
TEST_P(VerifyAfterWrite, DoneOnlyWhenTheUnitHoldsTheImage)
{
    const VerifyCase& c = GetParam();
    verify = c.verify;
    start();
    QtMessageCapture messages;
    UnitSimulator unit(QStringList{"--mode", "stm32", "--model-id", "7"} + c.unitArguments);
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));

    EXPECT_EQ(*finishedStatus, c.done);
    EXPECT_EQ(flashAt(unit, kFlashBase, image.size()) == withTrailerFlag(image), c.holdsImage);
    if (c.done) {
        EXPECT_EQ(probe->buttonText(), "DONE");
        EXPECT_TRUE(unit.waitForEvent("go", 3000));
        EXPECT_EQ(eventAddress(unit, "marker"), kMarkerAddress);
    } else {
        ASSERT_TRUE(afterFinished.has_value());
        EXPECT_EQ(afterFinished->progressFormat, kWindowErrorText);
        EXPECT_NE(probe->buttonText(), "DONE");
        EXPECT_FALSE(unit.waitForEvent("go", 1000));
        EXPECT_FALSE(eventAddress(unit, "marker").has_value());
    }
    const QStringList warnings = messages.lines();
    if (c.corrupt) {
        EXPECT_TRUE(warnings.contains(corruptByteWarning())) << warnings.join('\n').toStdString();
    }
    if (c.reason) {
        EXPECT_TRUE(warnings.contains(QString::fromUtf8(c.reason))) << warnings.join('\n').toStdString();
    }
    // The read-back takes the image's range in reads of 256 bytes up to the
    // first difference, and only with the key on.
    const QStringList readBacks = unit.log().split('\n').filter(QRegularExpression("Read Memory 0x080.* 256 bytes"));
    EXPECT_EQ(readBacks.size(), c.readBacks < 0 ? image.size() / 256 : c.readBacks) << unit.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyAfterWrite,
    ::testing::Values(
        VerifyCase{"off_good_unit", false, {}, true, true, false, nullptr, 0},
        VerifyCase{"off_corrupt_block_is_started_anyway", false, {"--corrupt-block", "5"}, true, false, false, nullptr,
                   0},
        VerifyCase{"on_good_unit", true, {}, true, true, false, nullptr, -1},
        VerifyCase{"on_good_unit_at_line_speed", true, {"--baud", "460800"}, true, true, false, nullptr, -1},
        VerifyCase{"on_corrupt_block_fails", true, {"--corrupt-block", "5"}, false, false, true, nullptr, 5},
        VerifyCase{"on_refused_read_fails", true, {"--nack-reads-from", kFirstReadBack}, false, true, false,
                   "warning: verify: Read Memory at 0x08000000 failed: NACK received, command Read", 0}),
    verifyCaseName);

// A failed read-back leaves the unit in its bootloader: the next attempt
// finds it, writes the image again and ends in DONE.
TEST_F(UartWindow, FailedVerificationLeavesTheUnitReadyForAnotherTry)
{
    verify = true;
    start();
    UnitSimulator unit({"--mode", "stm32", "--model-id", "7", "--corrupt-block", "5"});
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));
    ASSERT_FALSE(*finishedStatus);
    EXPECT_FALSE(eventAddress(unit, "go").has_value());

    window.reset();
    finishedStatus.reset();
    start();
    ASSERT_NO_FATAL_FAILURE(updateUnit(unit));
    EXPECT_TRUE(*finishedStatus);
    EXPECT_EQ(probe->buttonText(), "DONE");
    ASSERT_TRUE(unit.waitForEvent("go", 3000));
    EXPECT_EQ(flashAt(unit, kFlashBase, image.size()), withTrailerFlag(image));
}

} // namespace
