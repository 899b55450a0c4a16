#pragma once

#include "McubootVersion.h"
#include "Sha256.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace image {

// A firmware file in MCUboot's image format: a header, the body, the TLV area
// (a protected part first when there is one) and then anything at all, such
// as the padding and trailer `imgtool --pad` writes. Reading checks what
// MCUboot checks before it boots an image, up to the SHA-256 TLV.
class McubootImage {
public:
    static constexpr std::uint32_t kHeaderMagic = 0x96f3b83d;
    static constexpr std::uint32_t kMinimumHeaderSize = 32;
    static constexpr std::uint16_t kTlvInfoMagic = 0x6907;
    static constexpr std::uint16_t kProtectedTlvInfoMagic = 0x6908;
    static constexpr std::uint16_t kSha256TlvType = 0x10;
    static constexpr std::uint32_t kTlvInfoSize = 4;
    static constexpr std::uint32_t kTlvHeaderSize = 4;
    // Header flags of an encrypted body; its SHA-256 is over the plain text.
    static constexpr std::uint32_t kEncryptedFlags = 0x04 | 0x08;

    // The facts of `file`, or nothing with `reason` saying what is wrong,
    // such as "no header magic at offset 0".
    static std::optional<McubootImage> read(std::span<const std::uint8_t> file, std::string& reason);
    // The SHA-256 TLV of a file laid out as an MCUboot image, whether or not
    // it matches the file (a unit reports the hash of what it stored).
    static std::optional<Sha256Digest> carriedHash(std::span<const std::uint8_t> file);

    std::uint32_t loadAddress = 0;
    std::uint32_t headerSize = 0;
    std::uint32_t imageSize = 0; // the body alone
    std::uint32_t protectedTlvSize = 0; // its info included; 0 when there is none
    std::uint32_t tlvSize = 0; // the unprotected area, its info included
    std::uint32_t flags = 0;
    McubootVersion version;
    Sha256Digest tlvHash{};
    // Over header, body and protected TLVs; equal to tlvHash when hashChecked.
    Sha256Digest computedHash{};
    // False only for an encrypted body, whose hash cannot be recomputed here.
    bool hashChecked = false;
    std::size_t paddingSize = 0;

    std::size_t hashedSize() const { return std::size_t{headerSize} + imageSize + protectedTlvSize; }
    std::size_t tlvEnd() const { return hashedSize() + tlvSize; }
};

} // namespace image
