#include "MismatchText.h"

#include <fmt/format.h>

namespace stm32_updater {

std::string MismatchText(std::uint32_t address, std::byte held, std::byte written)
{
    return fmt::format("{:#010x} holds {:#04x}, {:#04x} was written", address, std::to_integer<unsigned>(held),
                       std::to_integer<unsigned>(written));
}

} // namespace stm32_updater
