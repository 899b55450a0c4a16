#include "DfuSimEnvironment.h"
#include "ImageCheck.h"
#include "MainWindow.h"
#include "McubootImageBuilder.h"
#include "QtMessageCapture.h"
#include "StartupConfig.h"
#include "Stm32ImageBuilder.h"
#include "TempResources.h"
#include "TrailerFlag.h"
#include "UnitSimulator.h"
#include "UpdateSession.h"
#include "UpdaterConfig.h"
#include "UpdaterFactory.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

enum class Backend { Mcuboot, Uart, Usb };

constexpr const char* kSerialIds = "1209:4c55";
constexpr const char* kDfuBootloader = "0483:df11";

QString configFor(Backend backend)
{
    switch (backend) {
    case Backend::Mcuboot:
        return QStringLiteral("interface=mcuboot_serial\nproduct_list=Unit:%1\n").arg(kSerialIds);
    case Backend::Uart:
        return QStringLiteral("interface=uart\nproduct_list=Unit:%1\nprogramming_address=0x08000000\n"
                              "start_address=0x08000000\nboot_mode_address=0x0807F800\notp_address=0x1FFF7000\n"
                              "otp_size=512\n").arg(kSerialIds);
    case Backend::Usb:
        break;
    }
    return QStringLiteral("interface=usb\nproduct_list=STM32 DFU:%1\nprogramming_address=0x08000000\n"
                          "otp_address=0x1FFF7000\notp_size=512\n").arg(kDfuBootloader);
}

// What the unit has seen: its request log and events (serial units), the
// runs of dfu-util-static (USB).
struct Traffic {
    QString log;
    QStringList events;
    QList<QStringList> dfuRuns;

    bool operator==(const Traffic&) const = default;
};

// The real window built as the program builds it: the configuration read by
// start-up, the back-end from the factory, the session's image check from
// the configuration. Units are simulated.
class ImageCheckWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void start(Backend unitBackend, const QByteArray& firmware, const QString& extraIni = QString(),
               const QStringList& unitArguments = {})
    {
        backend = unitBackend;
        image = firmware;
        resources = std::make_unique<TempResources>(configFor(backend) +
                                                    "firmware_filename=firmware.bin\ndevice_id_list=7\n" + extraIni);
        resources->writeFile("firmware.bin", image);
        plugUnit(unitArguments);
        const QString tool = DfuSimEnvironment::toolPath();
        // Read once, as the application does, so each warning is given once.
        UpdaterConfig config = UpdaterConfig::read(resources->settings(), resources->dir());
        config.dfuUtilPath = tool;
        window = std::make_unique<MainWindow>(config, &resources->settings(),
                                              createUpdater(config.startup, tool).release());
        window->updateSession().setImageCheck(ImageCheck::forSession(config.startup));
        probe = std::make_unique<WindowProbe>(*window);
        window->show();
    }

    void plugUnit(const QStringList& arguments)
    {
        if (backend == Backend::Usb) {
            dfu.set("DFU_SIM_DEVICES", kDfuBootloader);
            dfu.set("DFU_SIM_MODEL_ID", "7");
            dfu.set("DFU_SIM_DOWNLOAD_COPY", dfu.filePath("received.bin").toLocal8Bit());
            return;
        }
        QStringList all{"--model-id", "7"};
        if (backend == Backend::Uart)
            all << "--mode" << "stm32";
        unit = std::make_unique<UnitSimulator>(all + arguments);
        ASSERT_TRUE(unit->isReady());
        qputenv(VirtualPorts::kEnvironmentVariable, (unit->path() + "=" + kSerialIds).toUtf8());
    }

    Traffic traffic() const
    {
        if (backend == Backend::Usb)
            return {{}, {}, dfu.runs()};
        return {unit->log(), unit->events(), {}};
    }

    QByteArray received() const
    {
        if (backend == Backend::Mcuboot)
            return unit->image();
        if (backend == Backend::Uart)
            return unit->image().left(image.size());
        QFile copy(dfu.filePath("received.bin"));
        return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
    }

    QByteArray expectedOnUnit() const { return backend == Backend::Uart ? withTrailerFlag(image) : image; }

    bool waitForReady()
    {
        return waitUntil([&] { return probe->buttonText() == "UPDATE" && probe->buttonEnabled(); }, 15000);
    }
    bool waitForFailed()
    {
        return waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 15000);
    }
    bool waitForDone() { return waitUntil([&] { return probe->buttonText() == "DONE"; }, 60000); }

    Backend backend = Backend::Mcuboot;
    QByteArray image;
    DfuSimEnvironment dfu;
    std::unique_ptr<TempResources> resources;
    std::unique_ptr<UnitSimulator> unit;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

struct RefusalCase {
    const char* name;
    Backend backend;
    QByteArray image;
    QString reason; // how the logged reason begins
};

class RefusedAtTheClick : public ImageCheckWindow, public ::testing::WithParamInterface<RefusalCase> {};

// The refusal comes after the click and before anything of the update: the
// unit sees exactly the traffic it had seen when UPDATE was pressed.
TEST_P(RefusedAtTheClick, LeavesTheUnitUntouchedAndShowsTheFailure)
{
    QtMessageCapture messages;
    start(GetParam().backend, GetParam().image);
    ASSERT_TRUE(waitForReady());
    const Traffic beforeClick = traffic();

    probe->button()->click();
    ASSERT_TRUE(waitForFailed());
    EXPECT_FALSE(probe->buttonEnabled());
    // Long enough for a write that was started anyway to reach the unit.
    QTest::qWait(1000);
    EXPECT_EQ(traffic(), beforeClick);
    EXPECT_TRUE(received().isEmpty() || received() != expectedOnUnit());
    const QStringList reasons = messages.lines().filter(QRegularExpression("^warning: firmware image"));
    ASSERT_EQ(reasons.size(), 1) << messages.lines().join('\n').toStdString();
    EXPECT_TRUE(reasons.first().startsWith("warning: " + GetParam().reason)) << reasons.first().toStdString();
}

QByteArray withByteChanged(QByteArray bytes, qsizetype offset)
{
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedAtTheClick,
    ::testing::Values(
        RefusalCase{"mcuboot_random_bytes", Backend::Mcuboot, makeTestImage(8192),
                    "firmware image \"firmware.bin\" is not an MCUboot image: no header magic at offset 0"},
        RefusalCase{"mcuboot_wrong_hash", Backend::Mcuboot, withByteChanged(McubootImageBuilder().build(), 500),
                    "firmware image \"firmware.bin\" is not an MCUboot image: SHA-256 TLV " +
                        QString(McubootImageBuilder().hash().toHex()) + " does not match"},
        RefusalCase{"uart_mcuboot_image", Backend::Uart, McubootImageBuilder().build(),
                    "firmware image \"firmware.bin\" is not an application for 0x08000000: initial stack pointer "
                    "0x96f3b83d is outside SRAM (0x20000000 to 0x40000000)"},
        RefusalCase{"uart_past_the_device_flash", Backend::Uart, Stm32ImageBuilder().size(0x80004).build(),
                    "firmware image \"firmware.bin\" does not fit product 0x0469: 524292 bytes at 0x08000000 end "
                    "at 0x08080003, past the flash end 0x0807ffff"},
        RefusalCase{"usb_even_reset_handler", Backend::Usb, Stm32ImageBuilder().resetHandler(0x08000200).build(),
                    "firmware image \"firmware.bin\" is not an application for 0x08000000: reset handler 0x08000200 "
                    "is even, not a Thumb address"},
        RefusalCase{"usb_past_every_flash", Backend::Usb, Stm32ImageBuilder().size(0x200004).build(),
                    "firmware image \"firmware.bin\" is not an application for 0x08000000: 2097156 bytes at "
                    "0x08000000 end at 0x08200003, past the flash end 0x081fffff"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PassCase {
    const char* name;
    Backend backend;
    QByteArray image;
    QString extraIni;
};

class WrittenAfterTheClick : public ImageCheckWindow, public ::testing::WithParamInterface<PassCase> {};

TEST_P(WrittenAfterTheClick, ReachesDoneWithTheImageOnTheUnit)
{
    start(GetParam().backend, GetParam().image, GetParam().extraIni);
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForDone()) << probe->progressFormat().toStdString();
    ASSERT_TRUE(waitUntil([&] { return received() == expectedOnUnit(); }, 5000));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrittenAfterTheClick,
    ::testing::Values(PassCase{"mcuboot_padded_image", Backend::Mcuboot, McubootImageBuilder().padTo(0x4000).build(), ""},
                      PassCase{"uart_application", Backend::Uart, Stm32ImageBuilder().size(6000).build(), ""},
                      PassCase{"usb_application", Backend::Usb, Stm32ImageBuilder().size(6000).build(), ""},
                      // The whole first bank: the erase does not reach into the second one.
                      PassCase{"uart_whole_first_bank", Backend::Uart, Stm32ImageBuilder().size(0x40000).build(),
                               ""},
                      PassCase{"service_mode_good_image", Backend::Mcuboot, McubootImageBuilder().build(),
                               "fw_target_type=service\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// "service" lifts the model check, not the image check.
TEST_F(ImageCheckWindow, ServiceModeStillRefusesABadImage)
{
    start(Backend::Mcuboot, makeTestImage(4096), "fw_target_type=service\n");
    ASSERT_TRUE(waitForReady());
    const Traffic beforeClick = traffic();
    probe->button()->click();
    ASSERT_TRUE(waitForFailed());
    QTest::qWait(500);
    EXPECT_EQ(traffic(), beforeClick);
}

// The way out for images that break the rules on purpose: written as today,
// with one warning at start-up. The MCUboot unit itself then says it would
// not boot it.
TEST_F(ImageCheckWindow, ImageCheckFalseWritesABadImageAfterOneWarning)
{
    QtMessageCapture messages;
    start(Backend::Mcuboot, makeTestImage(4096), "image_check=false\n");
    ASSERT_TRUE(waitForReady());
    probe->button()->click();
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(received(), image);
    ASSERT_TRUE(unit->waitForEvent("image-check", 3000));
    EXPECT_TRUE(unit->events().contains("image-check bad no header magic at offset 0"));
    EXPECT_EQ(messages.lines().filter("image_check").size(), 1) << messages.lines().join('\n').toStdString();
}

} // namespace
