#pragma once

#include <cstdint>

namespace otp {

// One byte: the unit's model identifier.
inline constexpr std::uint32_t kModelIdKey = 0x01234711;
// Text: the unit's serial number.
inline constexpr std::uint32_t kSerialNumberKey = 0x3CA6A4AF;

} // namespace otp
