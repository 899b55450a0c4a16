#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace stm32_updater {

// How a read-back names the first byte that differs from what was written,
// e.g. "0x08000400 holds 0x5a, 0x00 was written".
std::string MismatchText(std::uint32_t address, std::byte held, std::byte written);

} // namespace stm32_updater
