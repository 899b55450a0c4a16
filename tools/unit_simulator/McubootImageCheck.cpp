#include "McubootImageCheck.h"

#include <QCryptographicHash>

namespace {

constexpr std::uint32_t kImageMagic = 0x96f3b83d;
constexpr std::uint16_t kTlvInfoMagic = 0x6907;
constexpr std::uint16_t kTlvSha256 = 0x10;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kSha256Size = 32;

std::uint32_t littleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes[at + i];
    return value;
}

// The hash stored in the unprotected TLV area that starts at `at`.
std::optional<std::vector<std::uint8_t>> storedHash(const std::vector<std::uint8_t>& image, std::size_t at)
{
    if (at + 4 > image.size() || littleEndian(image, at, 2) != kTlvInfoMagic)
        return std::nullopt;
    const std::size_t end = at + littleEndian(image, at + 2, 2);
    if (end > image.size())
        return std::nullopt;
    for (std::size_t entry = at + 4; entry + 4 <= end;) {
        const std::size_t length = littleEndian(image, entry + 2, 2);
        if (entry + 4 + length > end)
            return std::nullopt;
        if (littleEndian(image, entry, 2) == kTlvSha256 && length == kSha256Size)
            return std::vector<std::uint8_t>(image.begin() + entry + 4, image.begin() + entry + 4 + length);
        entry += 4 + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::uint8_t>> validatedImageHash(const std::vector<std::uint8_t>& image)
{
    if (image.size() < kHeaderSize || littleEndian(image, 0, 4) != kImageMagic)
        return std::nullopt;
    const std::size_t headerSize = littleEndian(image, 8, 2);
    const std::size_t protectedSize = littleEndian(image, 10, 2);
    const std::size_t bodySize = littleEndian(image, 12, 4);
    const std::size_t hashedSize = headerSize + bodySize + protectedSize;
    if (headerSize < kHeaderSize || hashedSize > image.size())
        return std::nullopt;
    const auto stored = storedHash(image, hashedSize);
    if (!stored)
        return std::nullopt;
    const QByteArray computed = QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(hashedSize)),
        QCryptographicHash::Sha256);
    if (std::vector<std::uint8_t>(computed.begin(), computed.end()) != *stored)
        return std::nullopt;
    return stored;
}
