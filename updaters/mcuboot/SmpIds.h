#pragma once

#include <cstdint>

// Operation, group and command codes and answer budgets of the SMP requests we send.
namespace smp {

inline constexpr uint8_t kOpRead = 0;
inline constexpr uint8_t kOpWrite = 2;

inline constexpr uint16_t kGroupOs = 0;
inline constexpr uint16_t kGroupImage = 1;
inline constexpr uint16_t kGroupOtp = 64;

inline constexpr uint8_t kCommandImageState = 0;
inline constexpr uint8_t kCommandImageUpload = 1;
inline constexpr uint8_t kCommandReset = 5;
inline constexpr uint8_t kCommandOtpRead = 0;

inline constexpr int kProbeTimeoutMs = 2000;
inline constexpr int kFirstChunkTimeoutMs = 10000;
inline constexpr int kChunkTimeoutMs = 3000;
inline constexpr int kOtpTimeoutMs = 2000;

// "rc" of an OTP read whose key the unit does not hold.
inline constexpr int kRcKeyNotFound = 5;

} // namespace smp
