#pragma once

#include <cstdint>
#include <optional>

namespace stm32_updater {

// One STM32 product the client knows how to erase.
struct Stm32DeviceInfo {
    std::uint16_t productId;
    std::uint64_t pagesPerBank;
    std::uint64_t pageSize;
    std::uint32_t flashStart;
    std::uint32_t flashEnd; // inclusive
};

// The row for the product ID reported by Get ID, if the product is supported.
std::optional<Stm32DeviceInfo> FindStm32Device(std::uint16_t productId);

// The highest flash end of all supported products: where no device was
// identified (USB DFU), an image must at least end below it.
std::uint32_t LargestStm32FlashEnd();

} // namespace stm32_updater
