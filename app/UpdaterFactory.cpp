#include "UpdaterFactory.h"

std::unique_ptr<FirmwareUpdaterBase> createUpdater(const StartupConfig& config, const QString& dfuUtilPath)
{
    Q_UNUSED(dfuUtilPath);
    switch (config.interfaceType) {
    case InterfaceType::Uart:
    case InterfaceType::Usb:
    case InterfaceType::McubootSerial:
        break;
    }
    return nullptr;
}

QString interfaceName(InterfaceType type)
{
    switch (type) {
    case InterfaceType::Usb:
        return QStringLiteral("usb");
    case InterfaceType::McubootSerial:
        return QStringLiteral("mcuboot_serial");
    case InterfaceType::Uart:
        break;
    }
    return QStringLiteral("uart");
}
