#include "Stm32DeviceTable.h"

#include <algorithm>
#include <array>

namespace stm32_updater {

namespace {

constexpr std::array<Stm32DeviceInfo, 3> kDevices{{
    {0x0469, 128, 0x800, 0x08000000, 0x0807FFFF},
    {0x0479, 128, 0x800, 0x08000000, 0x0807FFFF},
    {0x0482, 128, 0x2000, 0x08000000, 0x081FFFFF},
}};

} // namespace

std::optional<Stm32DeviceInfo> FindStm32Device(std::uint16_t productId)
{
    for (const Stm32DeviceInfo& device : kDevices) {
        if (device.productId == productId)
            return device;
    }
    return std::nullopt;
}

std::uint32_t LargestStm32FlashEnd()
{
    return std::ranges::max(kDevices, {}, &Stm32DeviceInfo::flashEnd).flashEnd;
}

} // namespace stm32_updater
