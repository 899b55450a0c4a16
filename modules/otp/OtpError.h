#pragma once

#include <cstdint>

namespace otp {

// Why an OTP operation failed. A writer failure carries the writer's own code
// in bits 0 to 18 under kWriterErrorFlag, so it is not one of the names below.
enum class OtpError : std::uint32_t {
    KeyNotFound = 0,
    ValueDiffers = 1,
    OldValueMismatch = 2,
    NoSpace = 4,
    SeparatorInItem = 5,
};

inline constexpr std::uint32_t kWriterErrorFlag = 0x80000;

constexpr OtpError writerError(std::uint32_t writerCode)
{
    return static_cast<OtpError>((writerCode & (kWriterErrorFlag - 1)) | kWriterErrorFlag);
}

constexpr bool isWriterError(OtpError error)
{
    return (static_cast<std::uint32_t>(error) & kWriterErrorFlag) != 0;
}

} // namespace otp
