#include "McubootTlvHash.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kImageMagic = 0x96f3b83d;
constexpr std::uint16_t kTlvInfoMagic = 0x6907;
constexpr std::uint16_t kProtectedTlvInfoMagic = 0x6908;
constexpr std::uint16_t kTlvSha256 = 0x10;
constexpr qsizetype kHeaderSize = 32;
constexpr qsizetype kTlvHeaderSize = 4;
constexpr qsizetype kSha256Size = 32;

std::uint32_t littleEndian(const QByteArray& bytes, qsizetype at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

// The SHA-256 entry of the TLV area that starts at `at` with its info header.
std::optional<QByteArray> sha256In(const QByteArray& image, qsizetype at, std::uint16_t magic)
{
    if (at + kTlvHeaderSize > image.size() || littleEndian(image, at, 2) != magic)
        return std::nullopt;
    const qsizetype end = at + littleEndian(image, at + 2, 2);
    if (end > image.size())
        return std::nullopt;
    for (qsizetype entry = at + kTlvHeaderSize; entry + kTlvHeaderSize <= end;) {
        const auto type = static_cast<std::uint16_t>(littleEndian(image, entry, 2));
        const qsizetype length = littleEndian(image, entry + 2, 2);
        const qsizetype value = entry + kTlvHeaderSize;
        if (value + length > end)
            return std::nullopt;
        if (type == kTlvSha256 && length == kSha256Size)
            return image.mid(value, length);
        entry = value + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> mcubootTlvSha256(const QByteArray& image)
{
    if (image.size() < kHeaderSize || littleEndian(image, 0, 4) != kImageMagic)
        return std::nullopt;
    const qsizetype headerSize = littleEndian(image, 8, 2);
    const qsizetype protectedSize = littleEndian(image, 10, 2);
    const qsizetype bodySize = littleEndian(image, 12, 4);
    const qsizetype tlvStart = headerSize + bodySize;
    if (headerSize < kHeaderSize || tlvStart > image.size())
        return std::nullopt;
    if (protectedSize > 0) {
        if (const auto hash = sha256In(image, tlvStart, kProtectedTlvInfoMagic))
            return hash;
    }
    return sha256In(image, tlvStart + protectedSize, kTlvInfoMagic);
}
