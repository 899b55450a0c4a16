#include "ConfigConversions.h"
#include "QtMessageCapture.h"
#include "StartupConfig.h"
#include "TempResources.h"

#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char* text;
    std::uint32_t address;
    std::uint32_t decimal;
};

class NumberConversion : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberConversion, AddressAndDecimalRules)
{
    const NumberCase& c = GetParam();
    EXPECT_EQ(config::toAddress(QVariant(QString::fromUtf8(c.text))), c.address) << c.text;
    EXPECT_EQ(config::toDecimal(QVariant(QString::fromUtf8(c.text))), c.decimal) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberConversion,
                         ::testing::Values(NumberCase{"0x100", 256, 0}, NumberCase{"0X1f", 31, 0},
                                           NumberCase{"010", 8, 10}, NumberCase{"256", 256, 256},
                                           NumberCase{"0x08000000", 0x08000000, 0},
                                           NumberCase{"4294967295", 4294967295u, 4294967295u},
                                           NumberCase{"4294967296", 0, 0}, NumberCase{"0x100000000", 0, 0},
                                           NumberCase{"09", 0, 9}, NumberCase{"abc", 0, 0},
                                           NumberCase{"-1", 0, 0}, NumberCase{"", 0, 0}));

TEST(NumberConversion, MissingValueIsZero)
{
    EXPECT_EQ(config::toAddress(QVariant()), 0u);
    EXPECT_EQ(config::toDecimal(QVariant()), 0u);
}

TEST(InterfaceTypeConversion, ExactCaseSensitiveNames)
{
    EXPECT_EQ(config::toInterfaceType(QVariant("usb")), InterfaceType::Usb);
    EXPECT_EQ(config::toInterfaceType(QVariant("mcuboot_serial")), InterfaceType::McubootSerial);
    EXPECT_EQ(config::toInterfaceType(QVariant("USB")), InterfaceType::Uart);
    EXPECT_EQ(config::toInterfaceType(QVariant("uart")), InterfaceType::Uart);
    EXPECT_EQ(config::toInterfaceType(QVariant()), InterfaceType::Uart);
}

// Values go through a real config.ini so the INI list syntax is exercised too.
struct DeviceIdCase {
    const char* line;
    QList<uint8_t> expected;
    QStringList warnings;  // every warning the conversion gives, in order
};

class DeviceIdList : public ::testing::TestWithParam<DeviceIdCase> {};

TEST_P(DeviceIdList, KeepsModelIdentifiersInFileOrderAndSkipsJunk)
{
    TempResources resources(QString::fromUtf8(GetParam().line));
    QtMessageCapture log;
    EXPECT_EQ(config::toDeviceIdList(resources.settings().value("device_id_list")), GetParam().expected)
        << GetParam().line;
    EXPECT_EQ(log.lines(), GetParam().warnings) << GetParam().line;
}

QString skipped(const char* entry)
{
    return QStringLiteral("warning: device_id_list: \"%1\" is not a decimal number; entry skipped").arg(entry);
}

QString outOfRange(const char* entry)
{
    return QStringLiteral("warning: device_id_list: \"%1\" is not a model identifier from 0 to 255; entry skipped")
        .arg(entry);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceIdList,
    ::testing::Values(DeviceIdCase{"device_id_list=7", {7}, {}},
                      DeviceIdCase{"device_id_list=1, 2, 300", {1, 2}, {outOfRange("300")}},
                      DeviceIdCase{"device_id_list=256", {}, {outOfRange("256")}},
                      DeviceIdCase{"device_id_list=255", {255}, {}},
                      DeviceIdCase{"device_id_list=-1", {}, {outOfRange("-1")}},
                      DeviceIdCase{"device_id_list=0", {0}, {}},
                      DeviceIdCase{"device_id_list=7, 0", {7, 0}, {}},
                      DeviceIdCase{"device_id_list=0x10", {}, {skipped("0x10")}},
                      DeviceIdCase{"device_id_list=12,x,5", {12, 5}, {skipped("x")}},
                      DeviceIdCase{"device_id_list=7, twelve", {7}, {skipped("twelve")}},
                      DeviceIdCase{"device_id_list=7, 12,", {7, 12}, {skipped("")}},
                      DeviceIdCase{"device_id_list=", {}, {skipped("")}},
                      DeviceIdCase{"other=1", {}, {}}));

TEST(ProductTable, ParsesNamesAndHexIdentifiers)
{
    TempResources resources("product_list=Unit A:0483:5740");
    const auto table = config::toProductTable(resources.settings().value("product_list"));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.begin()->first, "Unit A");
    EXPECT_EQ(table.begin()->second, (VidPid{0x0483, 0x5740}));
}

TEST(ProductTable, LaterEntryWithTheSameNameWinsAndShortEntriesAreSkipped)
{
    TempResources resources("product_list=A:0001:0002, B:10c4, A:0483:DF11, C:zz:0005:extra");
    const auto table = config::toProductTable(resources.settings().value("product_list"));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at("A"), (VidPid{0x0483, 0xDF11}));
    EXPECT_EQ(table.at("C"), (VidPid{0, 0x0005}));
    EXPECT_EQ(table.count("B"), 0u);
}

TEST(StartupConfig, MissingConfigGivesTheDefaults)
{
    TempResources resources;  // no config.ini at all
    const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
    EXPECT_EQ(config.interfaceType, InterfaceType::Uart);
    EXPECT_EQ(QDir::cleanPath(config.firmwarePath), QDir::cleanPath(resources.path()));
    EXPECT_TRUE(config.fwTargetType.isEmpty());
    EXPECT_EQ(config.bootModeAddress, 0u);
    EXPECT_EQ(config.startAddress, 0u);
    EXPECT_EQ(config.programmingAddress, 0u);
    EXPECT_EQ(config.otpAddress, 0u);
    EXPECT_EQ(config.otpSize, 0u);
    EXPECT_EQ(config.mcubootBaud, 921600);
    EXPECT_TRUE(config.imageCheck);
}

TEST(StartupConfig, ImageCheckIsOffOnlyForFalse)
{
    struct Case {
        const char* line;
        bool imageCheck;
    };
    for (const auto& [line, imageCheck] : {
             Case{"", true},
             Case{"image_check=true\n", true},
             Case{"image_check=false\n", false},
             Case{"image_check= False \n", false},
             Case{"image_check=0\n", true},
             Case{"image_check=no\n", true},
             Case{"image_check=\n", true},
         }) {
        SCOPED_TRACE(line);
        TempResources resources(QString::fromUtf8(line));
        EXPECT_EQ(StartupConfig::read(resources.settings(), resources.dir()).imageCheck, imageCheck);
    }
}

TEST(StartupConfig, ConvertsEveryKeyItPassesToTheBackEnd)
{
    TempResources resources("interface=mcuboot_serial\nfirmware_filename=fw/app.bin\nfw_target_type=service\n"
                            "boot_mode_address=0x0807F800\nstart_address=0x08000000\nprogramming_address=010\n"
                            "otp_address=0x100\notp_size=0x100\nmcuboot_baud=115200\n");
    const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
    EXPECT_EQ(config.interfaceType, InterfaceType::McubootSerial);
    EXPECT_EQ(config.firmwarePath, resources.dir().filePath("fw/app.bin"));
    EXPECT_EQ(config.fwTargetType, "service");
    EXPECT_EQ(config.bootModeAddress, 0x0807F800u);
    EXPECT_EQ(config.startAddress, 0x08000000u);
    EXPECT_EQ(config.programmingAddress, 8u);
    EXPECT_EQ(config.otpAddress, 256u);
    EXPECT_EQ(config.otpSize, 0u);
    EXPECT_EQ(config.mcubootBaud, 115200);
}

TEST(StartupConfig, AbsoluteFirmwarePathAndBadBaud)
{
    TempResources resources("firmware_filename=/opt/images/unit.bin\nmcuboot_baud=fast\n");
    const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
    EXPECT_EQ(config.firmwarePath, "/opt/images/unit.bin");
    EXPECT_EQ(config.mcubootBaud, 0);
}

} // namespace
