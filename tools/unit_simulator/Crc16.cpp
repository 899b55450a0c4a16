#include "Crc16.h"

std::uint16_t Crc16::compute(std::span<const std::uint8_t> bytes, std::uint16_t initial)
{
    std::uint16_t reg = initial;
    for (const std::uint8_t byte : bytes) {
        reg ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? static_cast<std::uint16_t>((reg << 1) ^ 0x1021) : static_cast<std::uint16_t>(reg << 1);
    }
    return reg;
}
