#include "ConfigConversions.h"
#include "QtMessageCapture.h"
#include "StartupConfig.h"
#include "TempResources.h"
#include "UpdaterFactory.h"

#include <QMap>
#include <gtest/gtest.h>

namespace {

// A configuration that works; each case replaces or removes one key of it.
const QMap<QString, QString> kWorkingConfig{
    {"interface", "uart"},         {"firmware_filename", "firmware.bin"}, {"programming_address", "0x08000000"},
    {"otp_address", "0x1FFF7000"}, {"otp_size", "512"},                   {"mcuboot_baud", "921600"},
    {"product_list", "Unit:1209:4c55"}, {"device_id_list", "7, 12"}};

QString iniText(const QMap<QString, QString>& values)
{
    QString text;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text += it.key() + '=' + it.value() + '\n';
    return text;
}

// Everything start-up reads from config.ini, in the order it reads it: the
// back-end's values, the back-end itself, then the window's lists.
QStringList startupWarnings(TempResources& resources)
{
    QtMessageCapture log;
    const StartupConfig config = StartupConfig::read(resources.settings(), resources.dir());
    const auto updater = createUpdater(config, resources.filePath("dfu-util-static"));
    config::toProductTable(resources.settings().value("product_list"));
    config::toDeviceIdList(resources.settings().value("device_id_list"));
    return log.lines();
}

struct WarningCase {
    const char* name;
    const char* key;
    const char* value;  // nullptr: the key is left out
    QStringList warnings;
};

class StartupWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(StartupWarnings, NameTheKeyTheValueAndWhatIsUsedInstead)
{
    const WarningCase& c = GetParam();
    QMap<QString, QString> values = kWorkingConfig;
    if (c.value != nullptr)
        values[c.key] = QString::fromUtf8(c.value);
    else
        values.remove(c.key);
    TempResources resources(iniText(values));
    EXPECT_EQ(startupWarnings(resources), c.warnings);
}

const QString kAddressRule = "is not a 32-bit address (0x hexadecimal, leading 0 octal, or decimal); using 0";
const QString kBadBaud = "is not a usable baud rate; using 0: no unit will answer";

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupWarnings,
    ::testing::Values(
        WarningCase{"WorkingConfig", "interface", "uart", {}},
        WarningCase{"ProductListBadHexDigit", "product_list", "Unit:12G9:4c55",
                    {"warning: product_list: \"Unit:12G9:4c55\" has a vendor identifier \"12G9\" that is not 1 to 4 "
                     "hexadecimal digits; using 0000, which matches no unit"}},
        WarningCase{"ProductListFiveHexDigits", "product_list", "Unit:1209:11209",
                    {"warning: product_list: \"Unit:1209:11209\" has a product identifier \"11209\" that is not 1 to "
                     "4 hexadecimal digits; using 0000, which matches no unit"}},
        WarningCase{"ProductListShortEntry", "product_list", "Unit:1209, Other:1209:4c56",
                    {"warning: product_list: \"Unit:1209\" is not name:vendor:product; entry skipped"}},
        WarningCase{"ProductListMissing", "product_list", nullptr,
                    {"warning: product_list: \"\" lists no unit; no unit will ever be found"}},
        WarningCase{"DeviceIdListWord", "device_id_list", "7, twelve",
                    {"warning: device_id_list: \"twelve\" is not a decimal number; entry skipped"}},
        WarningCase{"BaudZero", "mcuboot_baud", "0", {"warning: mcuboot_baud: \"0\" " + kBadBaud}},
        WarningCase{"BaudWord", "mcuboot_baud", "fast", {"warning: mcuboot_baud: \"fast\" " + kBadBaud}},
        WarningCase{"BaudBeyondTheLargestInt", "mcuboot_baud", "4294967295",
                    {"warning: mcuboot_baud: \"4294967295\" " + kBadBaud}},
        WarningCase{"OtpSizeZero", "otp_size", "0",
                    {"warning: otp_size: \"0\" reads no OTP byte, so no model identifier can be checked; using 0: "
                     "every unit is refused unless fw_target_type is service"}},
        WarningCase{"OtpSizeHexadecimal", "otp_size", "0x200",
                    {"warning: otp_size: \"0x200\" is not a decimal number; using 0",
                     "warning: otp_size: \"0\" reads no OTP byte, so no model identifier can be checked; using 0: "
                     "every unit is refused unless fw_target_type is service"}},
        WarningCase{"OtpSizeHuge", "otp_size", "4294967295",
                    {"warning: otp_size: \"4294967295\" is more than the 512 OTP bytes the model check uses; "
                     "using 512"}},
        WarningCase{"AddressWithBadDigit", "programming_address", "0x0800G000",
                    {"warning: programming_address: \"0x0800G000\" " + kAddressRule}},
        WarningCase{"AddressTooLarge", "otp_address", "0x100000000",
                    {"warning: otp_address: \"0x100000000\" " + kAddressRule}},
        WarningCase{"InterfaceInCapitals", "interface", "USB",
                    {"warning: interface: \"USB\" is not usb, mcuboot_serial or uart; using the STM32 bootloader "
                     "over UART"}},
        WarningCase{"ImageCheckOn", "image_check", "true", {}},
        WarningCase{"ImageCheckEmpty", "image_check", "", {}},
        WarningCase{"ImageCheckOff", "image_check", "false",
                    {"warning: image_check: \"false\" turns the image checks off; firmware images are written "
                     "without being checked"}},
        WarningCase{"ImageCheckOffInCapitals", "image_check", "FALSE",
                    {"warning: image_check: \"FALSE\" turns the image checks off; firmware images are written "
                     "without being checked"}},
        WarningCase{"ImageCheckMaybe", "image_check", "maybe",
                    {"warning: image_check: \"maybe\" is not true or false; true is used"}},
        WarningCase{"RequireSignedPackageYes", "require_signed_package", "yes",
                    {"warning: require_signed_package: \"yes\" is not true or false; using true: only signed "
                     "packages are written"}},
        WarningCase{"RequireSignedPackageTrue", "require_signed_package", "TRUE", {}},
        WarningCase{"VerifySwitchNotABoolean", "verify_after_write", "maybe",
                    {"warning: verify_after_write: \"maybe\" is not true or false; false is used"}},
        WarningCase{"VerifySwitchOn", "verify_after_write", "true", {}},
        WarningCase{"VerifySwitchEmpty", "verify_after_write", "", {}},
        WarningCase{"FirmwareMissing", "firmware_filename", nullptr,
                    {"warning: firmware_filename: \"\" names no image file; using the Resources folder itself: "
                     "every update fails"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupWarningsOfTheFile, ConfigThatIsNotTextIsNamed)
{
    TempResources resources;
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary.append(static_cast<char>((i * 37) & 0xFF));
    resources.writeFile("config.ini", binary);
    QSettings settings(resources.filePath("config.ini"), QSettings::IniFormat);

    QtMessageCapture log;
    StartupConfig::read(settings, resources.dir());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("warning: config.ini: \"%1\" is not a text settings file; using "
                                                    "the default of every key it does not hold as text")
                                         .arg(resources.filePath("config.ini"))))
        << log.lines().join('\n').toStdString();
}

TEST(StartupWarningsOfTheFile, MissingConfigIsNamed)
{
    TempResources resources;  // no config.ini at all
    QtMessageCapture log;
    StartupConfig::read(resources.settings(), resources.dir());
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("warning: config.ini: \"%1\" cannot be read; using the default of every key")
            .arg(resources.filePath("config.ini"))))
        << log.lines().join('\n').toStdString();
}

} // namespace
