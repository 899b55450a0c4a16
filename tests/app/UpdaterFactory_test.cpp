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

} // namespace
