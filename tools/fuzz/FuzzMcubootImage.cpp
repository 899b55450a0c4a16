// Fuzz target: the image checks over a fuzzed firmware file, read as an
// MCUboot image and as a raw STM32 application; whatever they accept must
// hold together.
#include "McubootImage.h"
#include "Stm32ApplicationImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace {

void checkMcubootImage(std::span<const std::uint8_t> file)
{
    std::string reason;
    const auto image = image::McubootImage::read(file, reason);
    if (image.has_value() == !reason.empty())
        std::abort();
    if (!image)
        return;
    if (image->tlvEnd() > file.size() || image->paddingSize != file.size() - image->tlvEnd())
        std::abort();
    if (image->headerSize < image::McubootImage::kMinimumHeaderSize)
        std::abort();
    if (image->computedHash != image::sha256(file.first(image->hashedSize())))
        std::abort();
    if (image->hashChecked && image->computedHash != image->tlvHash)
        std::abort();
}

void checkStm32Application(std::span<const std::uint8_t> file)
{
    constexpr std::uint32_t kAddress = 0x08000000;
    constexpr std::uint32_t kFlashEnd = 0x0807FFFF;
    std::string reason;
    const auto image = image::Stm32ApplicationImage::read(file, kAddress, kFlashEnd, reason);
    if (image.has_value() == !reason.empty())
        std::abort();
    if (!image)
        return;
    if (image->lastAddress > kFlashEnd || image->resetHandler % 2 == 0 ||
        image->initialStackPointer < image::Stm32ApplicationImage::kSramStart)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    checkMcubootImage(file);
    checkStm32Application(file);
    return 0;
}
