#include "CheckModelIdInOtp.h"

#include "OtpHandler.h"
#include "OtpKeys.h"

#include <algorithm>
#include <array>

namespace {

using BlockHandler = otp::OtpHandler<16, 32>;
constexpr std::size_t kEntrySize = 16;

// The whole entries of the image, the rest erased: an entry cut short by the
// end of the image cannot pass for a record, and nothing past the end is read.
std::array<std::byte, BlockHandler::kBlockSize> wholeEntries(std::span<const std::byte> otp)
{
    std::array<std::byte, BlockHandler::kBlockSize> block;
    block.fill(std::byte{0xFF});
    const std::size_t held = std::min(otp.size(), block.size()) / kEntrySize * kEntrySize;
    std::copy_n(otp.begin(), held, block.begin());
    return block;
}

} // namespace

bool checkModelIdInOtp(std::span<const std::byte> otp, const QList<uint8_t>& accepted)
{
    if (otp.empty())
        return false;
    const auto block = wholeEntries(otp);
    const BlockHandler handler(block, [](std::span<const std::byte, kEntrySize>, std::uint8_t) { return 0U; });
    const otp::OtpResult<std::uint8_t> modelId = handler.ReadByte(otp::kModelIdKey);
    return modelId && accepted.contains(modelId.value());
}
