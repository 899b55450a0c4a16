#include "TempResources.h"
#include "UpdaterConfig.h"

#include <gtest/gtest.h>

namespace {

// One read gives everything both front ends run with.
TEST(UpdaterConfig, HoldsTheBackEndValuesTheUnitsAndTheTool)
{
    TempResources resources("interface=usb\nfirmware_filename=fw.bin\nprogramming_address=0x08000000\n"
                            "product_list=Unit A:0483:df11, Unit B:1209:4c55\ndevice_id_list=7, 300\n");

    const UpdaterConfig config = UpdaterConfig::read(resources.settings(), resources.dir());

    EXPECT_EQ(config.configPath, resources.filePath("config.ini"));
    EXPECT_EQ(config.resourcesPath, resources.path());
    EXPECT_EQ(config.dfuUtilPath, resources.filePath("dfu-util-static"));
    EXPECT_EQ(config.startup.interfaceType, InterfaceType::Usb);
    EXPECT_EQ(config.startup.firmwarePath, resources.filePath("fw.bin"));
    EXPECT_EQ(config.startup.programmingAddress, 0x08000000u);
    ASSERT_EQ(config.products.size(), 2u);
    EXPECT_EQ(config.products.at("Unit A").vid, 0x0483);
    EXPECT_EQ(config.products.at("Unit B").pid, 0x4c55);
    EXPECT_EQ(config.deviceIds, (QList<uint8_t>{7})) << "300 is no model identifier";
    EXPECT_FALSE(config.isServiceImage());
}

} // namespace
