#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Byte frames of the STM32 system bootloader over UART; multi-byte values go
// most significant byte first.
namespace stm32_updater::frames {

// XOR of all bytes: the check byte that closes address, data and list frames.
std::byte Checksum(std::span<const std::byte> bytes);
// A command code followed by its complement.
std::array<std::byte, 2> Command(std::uint8_t code);
// The address followed by the XOR of its four bytes.
std::array<std::byte, 5> Address(std::uint32_t address);
// An erase page list: the page count minus one, the page numbers, the checksum;
// one byte per number for Erase, two for Extended Erase. The list is not empty.
std::vector<std::byte> PageList(std::span<const std::uint8_t> pages);
std::vector<std::byte> PageList(std::span<const std::uint16_t> pages);

} // namespace stm32_updater::frames
