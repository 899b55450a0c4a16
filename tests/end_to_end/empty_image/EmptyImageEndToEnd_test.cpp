#include "DfuSimEnvironment.h"
#include "MainWindow.h"
#include "QtMessageCapture.h"
#include "StartupConfig.h"
#include "TempResources.h"
#include "UnitSimulator.h"
#include "UpdaterFactory.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

constexpr const char* kSerialUnit = "1209:4c55";
constexpr const char* kDfuUnit = "0483:df11";

// One back-end as start-up builds it from config.ini, and the unit it meets.
struct EmptyImageCase {
    const char* name;
    const char* interface;
    const char* unitIds;
    QStringList simulatorArguments; // empty: the unit is the simulated dfu-util's
};

class EmptyImage : public ::testing::TestWithParam<EmptyImageCase> {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    void start()
    {
        resources = std::make_unique<TempResources>(
            QStringLiteral("interface=%1\nfirmware_filename=firmware.bin\nproduct_list=Unit:%2\n"
                           "device_id_list=7\nprogramming_address=0x08000000\nstart_address=0x08000000\n"
                           "boot_mode_address=0x0807F800\notp_address=0x1FFF7000\notp_size=512\n")
                .arg(GetParam().interface, GetParam().unitIds));
        resources->writeFile("firmware.bin", QByteArray());
        const StartupConfig config = StartupConfig::read(resources->settings(), resources->dir());
        FirmwareUpdaterBase* updater = createUpdater(config, DfuSimEnvironment::toolPath()).release();
        QObject::connect(updater, &FirmwareUpdaterBase::UpdateFinished, [this](bool status) { finished = status; });
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(), DfuSimEnvironment::toolPath(),
                                              config.interfaceType, updater);
        probe = std::make_unique<WindowProbe>(*window);
        window->show();
    }

    // What the unit has seen so far: the simulator's request log, or the tool's runs.
    QString unitTraffic()
    {
        if (unit)
            return unit->log();
        QStringList runs;
        for (const QStringList& run : sim.runs())
            runs << run.join(' ');
        return runs.join('\n');
    }

    DfuSimEnvironment sim;
    std::unique_ptr<UnitSimulator> unit;
    std::unique_ptr<TempResources> resources;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
    std::optional<bool> finished;
};

// Writing nothing and then starting the unit would leave it without firmware:
// the update fails before anything reaches the unit.
TEST_P(EmptyImage, FailsWithoutTouchingTheUnit)
{
    if (GetParam().simulatorArguments.isEmpty()) {
        sim.set("DFU_SIM_DEVICES", kDfuUnit);
        sim.set("DFU_SIM_MODEL_ID", "7");
    } else {
        unit = std::make_unique<UnitSimulator>(GetParam().simulatorArguments);
        ASSERT_TRUE(unit->isReady());
        qputenv(VirtualPorts::kEnvironmentVariable, (unit->path() + "=" + kSerialUnit).toUtf8());
    }
    QtMessageCapture messages;
    start();
    ASSERT_TRUE(waitUntil([&] { return probe->buttonText() == "UPDATE" && probe->buttonEnabled(); }, 10000));
    const QString trafficBeforeClick = unitTraffic();

    probe->button()->click();

    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 10000));
    EXPECT_FALSE(*finished);
    EXPECT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 2000));
    EXPECT_NE(probe->buttonText(), "DONE");
    // Longer than a detection interval: nothing arrives late either.
    waitUntil([] { return false; }, 1500);
    EXPECT_EQ(unitTraffic(), trafficBeforeClick);
    if (unit) {
        const QByteArray stored = unit->image();
        EXPECT_EQ(stored.count('\xff'), stored.size()) << "nothing written";
        EXPECT_EQ(unit->resetCount(), 0);
        EXPECT_TRUE(unit->events().filter(QRegularExpression("^(go|write|image-complete)")).isEmpty());
    }
    EXPECT_EQ(messages.lines().filter(QRegularExpression("firmware\\.bin.* is empty")).size(), 1)
        << messages.lines().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    BackEnds, EmptyImage,
    ::testing::Values(EmptyImageCase{"mcuboot", "mcuboot_serial", kSerialUnit, {"--model-id", "7"}},
                      EmptyImageCase{"uart", "uart", kSerialUnit, {"--mode", "stm32", "--model-id", "7"}},
                      EmptyImageCase{"usb", "usb", kDfuUnit, {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
