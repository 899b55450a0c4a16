#pragma once

#include <QList>
#include <cstddef>
#include <cstdint>
#include <span>

// True when the OTP block holds a model identifier that is one of `accepted`.
// An empty block, a block without the key and an unlisted identifier are all
// refused. Only the first 512 bytes count; a shorter block is searched only
// within the entries it holds whole.
bool checkModelIdInOtp(std::span<const std::byte> otp, const QList<uint8_t>& accepted);
