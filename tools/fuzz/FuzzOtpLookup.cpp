// Fuzz target: the OTP key/value lookups and the model check over a fuzzed
// block: the first 512 bytes are the block, the rest picks the accepted models.
#include "CheckModelIdInOtp.h"
#include "OtpHandler.h"
#include "OtpKeys.h"

#include <QList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr std::size_t kBlock = 512;
    std::array<std::byte, kBlock> block;
    block.fill(std::byte{0xFF});
    std::memcpy(block.data(), data, std::min(size, kBlock));
    QList<uint8_t> accepted;
    for (std::size_t at = kBlock; at < size; ++at)
        accepted.append(data[at]);

    otp::OtpHandler<16, 32> handler(std::span<const std::byte, kBlock>(block), [](auto, auto) { return 0u; });
    const auto model = handler.ReadByte(otp::kModelIdKey);
    const auto serial = handler.ReadString(otp::kSerialNumberKey);
    if (serial && serial.value().size() > kBlock)
        std::abort();
    handler.ReadStringList(otp::kSerialNumberKey);
    if (handler.FreeEntryCount() > 32)
        std::abort();
    // The check reads exactly what the handler reads, from a block of any length.
    const bool admitted = checkModelIdInOtp(std::vector<std::byte>(block.begin(), block.end()), accepted);
    if (admitted != (model && accepted.contains(model.value())))
        std::abort();
    checkModelIdInOtp(std::vector<std::byte>(block.begin(), block.begin() + static_cast<long>(std::min(size, kBlock))),
                      accepted);
    return 0;
}
