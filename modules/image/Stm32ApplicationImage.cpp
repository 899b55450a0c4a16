#include "Stm32ApplicationImage.h"

#include "LittleEndian.h"

#include <fmt/format.h>

namespace image {

namespace {

std::uint64_t lastAddressOf(std::size_t fileSize, std::uint32_t programmingAddress)
{
    return std::uint64_t{programmingAddress} + Stm32ApplicationImage::paddedSize(fileSize) - 1;
}

std::string stackPointerProblem(std::uint32_t stackPointer)
{
    if (stackPointer < Stm32ApplicationImage::kSramStart || stackPointer > Stm32ApplicationImage::kSramTop)
        return fmt::format("initial stack pointer 0x{:08x} is outside SRAM (0x{:08x} to 0x{:08x})", stackPointer,
                           Stm32ApplicationImage::kSramStart, Stm32ApplicationImage::kSramTop);
    if (stackPointer % Stm32ApplicationImage::kWordSize != 0)
        return fmt::format("initial stack pointer 0x{:08x} is not a multiple of 4", stackPointer);
    return {};
}

std::string resetHandlerProblem(const Stm32ApplicationImage& image)
{
    if (image.resetHandler % 2 == 0)
        return fmt::format("reset handler 0x{:08x} is even, not a Thumb address", image.resetHandler);
    const std::uint32_t target = image.resetHandler & ~std::uint32_t{1};
    const std::uint64_t end = std::uint64_t{image.programmingAddress} + image.fileSize;
    if (target < image.programmingAddress || target >= end)
        return fmt::format("reset handler 0x{:08x} points outside the image (0x{:08x} to 0x{:08x})", image.resetHandler,
                           image.programmingAddress, end - 1);
    return {};
}

} // namespace

std::string Stm32ApplicationImage::fitProblem(std::size_t fileSize, std::uint32_t programmingAddress,
                                              std::uint32_t flashEnd)
{
    const std::uint64_t last = lastAddressOf(fileSize, programmingAddress);
    if (last <= flashEnd)
        return {};
    return fmt::format("{} bytes at 0x{:08x} end at 0x{:08x}, past the flash end 0x{:08x}", paddedSize(fileSize),
                       programmingAddress, last, flashEnd);
}

std::optional<Stm32ApplicationImage> Stm32ApplicationImage::read(std::span<const std::uint8_t> file,
                                                                 std::uint32_t programmingAddress,
                                                                 std::uint32_t flashEnd, std::string& reason)
{
    Stm32ApplicationImage image;
    image.programmingAddress = programmingAddress;
    image.fileSize = file.size();
    image.lastAddress = lastAddressOf(file.size(), programmingAddress);
    image.flashEnd = flashEnd;
    if (file.size() < kVectorTableSize) {
        reason = fmt::format("{} bytes are too few for a vector table of {}", file.size(), kVectorTableSize);
        return std::nullopt;
    }
    image.initialStackPointer = readLe32(file, 0);
    image.resetHandler = readLe32(file, 4);
    reason = fitProblem(file.size(), programmingAddress, flashEnd);
    if (reason.empty())
        reason = stackPointerProblem(image.initialStackPointer);
    if (reason.empty())
        reason = resetHandlerProblem(image);
    if (!reason.empty())
        return std::nullopt;
    return image;
}

} // namespace image
