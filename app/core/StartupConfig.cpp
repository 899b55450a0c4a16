#include "StartupConfig.h"

#include "ConfigConversions.h"

StartupConfig StartupConfig::read(const QSettings& settings, const QDir& resourcesDir)
{
    StartupConfig config;
    config.interfaceType = config::toInterfaceType(settings.value("interface"));
    // QDir::filePath keeps an absolute name unchanged and gives the directory
    // itself for an empty one.
    config.firmwarePath = resourcesDir.filePath(settings.value("firmware_filename").toString());
    config.fwTargetType = settings.value("fw_target_type").toString();
    config.bootModeAddress = config::toAddress(settings.value("boot_mode_address"));
    config.startAddress = config::toAddress(settings.value("start_address"));
    config.programmingAddress = config::toAddress(settings.value("programming_address"));
    config.otpAddress = config::toAddress(settings.value("otp_address"));
    config.otpSize = config::toDecimal(settings.value("otp_size"));
    if (settings.contains("mcuboot_baud"))
        config.mcubootBaud = static_cast<int>(config::toDecimal(settings.value("mcuboot_baud")));
    return config;
}
