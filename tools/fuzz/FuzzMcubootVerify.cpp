// Fuzz target: what the MCUboot read-back reads: slot 0 of an image-state
// answer, and the TLV hash of an image file.
#include "ImageStateListing.h"
#include "McubootTlvHash.h"
#include "QuietMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quietMessages();
    // No copy: a read past `size` lands outside the fuzzer's buffer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ImageStateListing listing = ImageStateListing::read(bytes);
    if (listing.slotZeroHash && (!listing.hasImageList || listing.slotZeroHash->size() > bytes.size()))
        std::abort();
    const std::optional<QByteArray> hash = mcubootTlvSha256(bytes);
    if (hash && hash->size() != 32)
        std::abort();
    return 0;
}
