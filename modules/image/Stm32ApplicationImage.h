#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace image {

// A raw Cortex-M application (as `objcopy -O binary` writes it) to be placed
// at a flash address: it must fit below the flash end, and its vector table
// must hold a stack pointer in SRAM and a Thumb reset handler inside itself.
class Stm32ApplicationImage {
public:
    // The SRAM region of the Cortex-M memory map; an initial stack pointer
    // may also equal its end, the top of a RAM that fills the region.
    static constexpr std::uint32_t kSramStart = 0x20000000;
    static constexpr std::uint32_t kSramTop = 0x40000000;
    static constexpr std::size_t kVectorTableSize = 8;
    static constexpr std::size_t kWordSize = 4;

    // The facts of `file` written at `programmingAddress` on a device whose
    // flash ends at `flashEnd` (inclusive), or nothing with `reason`.
    static std::optional<Stm32ApplicationImage> read(std::span<const std::uint8_t> file,
                                                     std::uint32_t programmingAddress, std::uint32_t flashEnd,
                                                     std::string& reason);

    // Empty when `fileSize` bytes, padded as written, fit below `flashEnd`.
    static std::string fitProblem(std::size_t fileSize, std::uint32_t programmingAddress, std::uint32_t flashEnd);

    // The file's size rounded up to whole words, as the UART back-end pads it.
    static std::size_t paddedSize(std::size_t fileSize) { return (fileSize + kWordSize - 1) / kWordSize * kWordSize; }

    std::uint32_t programmingAddress = 0;
    std::size_t fileSize = 0;
    std::uint64_t lastAddress = 0; // of the padded image's last byte
    std::uint32_t flashEnd = 0;
    std::uint32_t initialStackPointer = 0;
    std::uint32_t resetHandler = 0;
};

} // namespace image
