#pragma once

#include "OtpResult.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace otp {

using TextList = std::span<const std::string_view>;

// Reads and appends key/value records in a one-time-programmable block.
// Values are never overwritten: a new value for a key is appended and shadows
// the older one.
class IOtpHandler {
public:
    virtual OtpStatus WriteString(std::uint32_t key, std::string_view text) = 0;
    virtual OtpResult<std::string> ReadString(std::uint32_t key) const = 0;
    virtual OtpStatus ReplaceString(std::uint32_t key, std::string_view newText, std::string_view oldText) = 0;
    virtual OtpStatus WriteByte(std::uint32_t key, std::uint8_t value) = 0;
    virtual OtpResult<std::uint8_t> ReadByte(std::uint32_t key) const = 0;
    virtual OtpStatus ReplaceByte(std::uint32_t key, std::uint8_t newValue, std::uint8_t oldValue) = 0;
    virtual OtpStatus WriteStringList(std::uint32_t key, TextList items) = 0;
    virtual OtpResult<std::vector<std::string>> ReadStringList(std::uint32_t key) const = 0;
    virtual OtpStatus ReplaceStringList(std::uint32_t key, TextList newItems, TextList oldItems) = 0;
    virtual std::uint64_t FreeEntryCount() const = 0;

protected:
    // Handlers are local objects, never deleted through this interface.
    ~IOtpHandler() = default;
};

} // namespace otp
