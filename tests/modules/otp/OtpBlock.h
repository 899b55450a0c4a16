#pragma once

#include "OtpHandler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A 512-byte OTP block for tests, erased unless filled, with a writer that
// records every call and programs the block the way the device would.
class OtpBlock {
public:
    using Handler = otp::OtpHandler<16, 32>;
    static constexpr std::size_t kEntrySize = 16;

    struct WriterCall {
        std::uint8_t index;
        std::array<std::byte, kEntrySize> entry;
    };

    OtpBlock() { bytes.fill(std::byte{0xFF}); }

    // Fails every call from the given one on (0-based) with `code`.
    void failWriterFrom(std::size_t callIndex, std::uint32_t code)
    {
        failingCall = callIndex;
        failureCode = code;
    }

    Handler handler()
    {
        return Handler(bytes, [this](std::span<const std::byte, kEntrySize> entry, std::uint8_t index) {
            return write(entry, index);
        });
    }

    void setEntry(std::size_t index, const std::vector<std::uint8_t>& entryBytes)
    {
        for (std::size_t i = 0; i < kEntrySize; ++i)
            bytes[index * kEntrySize + i] = std::byte{i < entryBytes.size() ? entryBytes[i] : std::uint8_t{0}};
    }

    void putByteRecord(std::size_t index, std::uint32_t key, std::uint8_t value)
    {
        setEntry(index, {std::uint8_t(key), std::uint8_t(key >> 8), std::uint8_t(key >> 16), std::uint8_t(key >> 24),
                         value});
    }

    std::uint8_t at(std::size_t offset) const { return std::to_integer<std::uint8_t>(bytes[offset]); }

    std::array<std::byte, 512> bytes;
    std::vector<WriterCall> calls;

private:
    std::uint32_t write(std::span<const std::byte, kEntrySize> entry, std::uint8_t index)
    {
        WriterCall call{index, {}};
        std::copy(entry.begin(), entry.end(), call.entry.begin());
        calls.push_back(call);
        if (calls.size() > failingCall)
            return failureCode;
        std::copy(entry.begin(), entry.end(), bytes.begin() + index * kEntrySize);
        return 0;
    }

    std::size_t failingCall = SIZE_MAX;
    std::uint32_t failureCode = 0;
};
