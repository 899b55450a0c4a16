#include "StartupConfig.h"
#include "TempResources.h"
#include "UpdaterFactory.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdaterFactory, InterfaceValueChoosesTheBackEnd)
{
    const struct {
        const char* ini;
        const char* className;
    } cases[] = {{"interface=mcuboot_serial", "McubootSerialUpdater"},
                 {"interface=usb", "UsbFirmwareUpdater"},
                 {"interface=USB", "UartFirmwareUpdater"},
                 {"interface=uart", "UartFirmwareUpdater"},
                 {"", "UartFirmwareUpdater"}};
    for (const auto& c : cases) {
        TempResources resources(c.ini);
        const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
        const auto updater = createUpdater(config, resources.filePath("dfu-util-static"));
        ASSERT_NE(updater, nullptr) << c.ini;
        EXPECT_STREQ(updater->metaObject()->className(), c.className) << c.ini;
    }
}

// Every back-end gets the switch; anything but "true" leaves it off.
TEST(UpdaterFactory, VerifyAfterWriteReachesEveryBackEnd)
{
    const struct {
        const char* value; // nullptr: key absent
        bool on;
    } switches[] = {{nullptr, false}, {"", false}, {"false", false}, {"true", true}, {"maybe", false}, {"1", false}};
    for (const char* interface : {"mcuboot_serial", "usb", "uart"}) {
        for (const auto& c : switches) {
            QString ini = QStringLiteral("interface=%1\n").arg(interface);
            if (c.value)
                ini += QStringLiteral("verify_after_write=%1\n").arg(c.value);
            TempResources resources(ini);
            const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
            EXPECT_EQ(config.verifyAfterWrite, c.on) << ini.toStdString();
            const auto updater = createUpdater(config, resources.filePath("dfu-util-static"));
            EXPECT_EQ(updater->verifiesAfterWrite(), c.on) << ini.toStdString();
        }
    }
}

} // namespace
