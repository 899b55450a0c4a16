#include "UpdaterFactory.h"

#include "McubootSerialUpdater.h"
#include "UartFirmwareUpdater.h"
#include "UsbFirmwareUpdater.h"

namespace {

std::unique_ptr<FirmwareUpdaterBase> createBackend(const StartupConfig& config, const QString& dfuUtilPath)
{
    switch (config.interfaceType) {
    case InterfaceType::McubootSerial:
        return std::make_unique<McubootSerialUpdater>(config.firmwarePath, config.mcubootBaud, false,
                                                      config.fwTargetType, nullptr);
    case InterfaceType::Usb:
        return std::make_unique<UsbFirmwareUpdater>(config.firmwarePath, dfuUtilPath, config.programmingAddress,
                                                    config.otpAddress, config.otpSize, config.fwTargetType, nullptr);
    case InterfaceType::Uart:
        break;
    }
    auto uart = std::make_unique<UartFirmwareUpdater>(config.firmwarePath, config.startAddress,
                                                      config.programmingAddress, config.otpAddress, config.otpSize,
                                                      config.bootModeAddress, config.fwTargetType, nullptr);
    uart->setFlashEndCheck(config.imageCheck);
    return uart;
}

} // namespace

std::unique_ptr<FirmwareUpdaterBase> createUpdater(const StartupConfig& config, const QString& dfuUtilPath)
{
    std::unique_ptr<FirmwareUpdaterBase> updater = createBackend(config, dfuUtilPath);
    updater->setVerifyAfterWrite(config.verifyAfterWrite);
    return updater;
}
