#pragma once

#include "ImageFile.h"
#include "SimOptions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The memory a system bootloader reaches: the flash (mirrored into the image
// file) and, optionally, the 512-byte OTP block with the model identifier.
class Stm32Memory {
public:
    static constexpr std::uint32_t kOtpSize = 512;
    static constexpr std::uint32_t kModelIdKey = 0x01234711;
    static constexpr std::uint8_t kOldDataByte = 0x5A;

    Stm32Memory(const Stm32Settings& settings, std::optional<std::uint8_t> modelId, ImageFile& flashFile);

    // Reads and writes must lie wholly inside the flash or the OTP block.
    std::optional<std::vector<std::uint8_t>> read(std::uint32_t address, std::size_t length) const;
    // Programming clears bits only, as on real flash; false outside memory
    // and in a page that still holds old data.
    bool write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    bool isFlash(std::uint32_t address) const;
    bool erasePage(std::uint32_t page);
    void eraseAll();
    std::uint32_t pageCount() const;

private:
    struct Location {
        bool inFlash;
        std::size_t offset;
    };
    // Where [address, address + length) lies, if wholly inside one region.
    std::optional<Location> locate(std::uint32_t address, std::size_t length) const;
    void fillOldData(const Stm32Settings::OldData& oldData);
    bool touchesOldData(std::size_t offset, std::size_t length) const;

    const Stm32Settings& settings;
    ImageFile& flashFile;
    std::vector<std::uint8_t> flash;
    std::vector<bool> oldDataPages; // pages that hold old data and were not erased since
    std::vector<std::uint8_t> otp; // empty when the unit has no OTP block
};
