#include "BootModeMarker.h"

namespace {

constexpr std::uint64_t kMarkerSize = 4;

QString hex(std::uint64_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

} // namespace

QString bootModeMarkerConflict(std::uint32_t programmingAddress, std::uint64_t imageSize,
                               std::uint32_t markerAddress)
{
    const std::uint64_t imageEnd = std::uint64_t{programmingAddress} + imageSize;
    const std::uint64_t markerEnd = std::uint64_t{markerAddress} + kMarkerSize;
    if (imageSize == 0 || markerAddress >= imageEnd || markerEnd <= programmingAddress)
        return QString();
    return QStringLiteral("the image (%1 to %2) covers the boot-mode marker at %3 (boot_mode_address); "
                          "nothing was written")
        .arg(hex(programmingAddress), hex(imageEnd - 1), hex(markerAddress));
}
