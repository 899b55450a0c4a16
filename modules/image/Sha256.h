#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace image {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of `bytes`, computed by OpenSSL.
Sha256Digest sha256(std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal, two digits a byte.
std::string toHex(std::span<const std::uint8_t> bytes);

} // namespace image
