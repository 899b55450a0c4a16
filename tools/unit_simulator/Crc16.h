#pragma once

#include <cstdint>
#include <span>

// CRC-16 with polynomial 0x1021, most significant bit first, no reflection.
class Crc16 {
public:
    // Runs the register from `initial` over the bytes; no final XOR.
    static std::uint16_t compute(std::span<const std::uint8_t> bytes, std::uint16_t initial);
};
