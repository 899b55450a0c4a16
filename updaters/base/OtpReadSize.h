#pragma once

#include <cstdint>

// The model check looks at the first 512 bytes of the OTP block only.
constexpr std::uint64_t kOtpCheckedBytes = 512;

// The number of OTP bytes to read for a configured otp_size: larger values are
// clamped to 512 and 0 is kept, each with a warning naming the value. Reading
// more would only make a hostile size keep the link busy for ever.
std::uint64_t otpReadSize(std::uint64_t configured);
