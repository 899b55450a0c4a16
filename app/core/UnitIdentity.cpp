#include "UnitIdentity.h"

#include "McubootSerialUpdater.h"

std::optional<UnitIdentity> UnitIdentity::read(FirmwareUpdaterBase& backend)
{
    auto* mcuboot = qobject_cast<McubootSerialUpdater*>(&backend);
    if (!mcuboot)
        return std::nullopt;
    UnitIdentity identity;
    if (const std::optional<QByteArray> model = mcuboot->readOtpData(McubootSerialUpdater::kModelIdKey))
        identity.model = static_cast<uint8_t>(model->at(0));
    if (const std::optional<QByteArray> serial = mcuboot->readOtpData(McubootSerialUpdater::kSerialNumberKey)) {
        const qsizetype zero = serial->indexOf('\0');
        identity.serialNumber = QString::fromLatin1(zero < 0 ? *serial : serial->left(zero));
    }
    return identity;
}

bool UnitIdentity::isReadableFrom(const FirmwareUpdaterBase& backend)
{
    return qobject_cast<const McubootSerialUpdater*>(&backend) != nullptr;
}
