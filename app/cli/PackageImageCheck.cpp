#include "PackageImageCheck.h"

#include "FirmwareImage.h"
#include "ImageCheck.h"

namespace {

// Where STM32 application flash starts; an image packaged without its
// address is checked as one built for there.
constexpr std::uint32_t kUsualFlashStart = 0x08000000;

InterfaceType interfaceNamed(const QString& name)
{
    if (name == QLatin1String("mcuboot_serial"))
        return InterfaceType::McubootSerial;
    return name == QLatin1String("usb") ? InterfaceType::Usb : InterfaceType::Uart;
}

} // namespace

QString checkImageForPackage(const QString& fileName, const QByteArray& image, const QString& interfaceName,
                             std::optional<std::uint32_t> programmingAddress)
{
    const ImageCheck check(interfaceNamed(interfaceName), programmingAddress.value_or(kUsualFlashStart));
    return check.problem(FirmwareImage{fileName, image});
}
