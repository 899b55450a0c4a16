#include "McubootTlvHash.h"

#include "McubootImage.h"

#include <cstdint>
#include <span>

std::optional<QByteArray> mcubootTlvSha256(const QByteArray& image)
{
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(image.constData()),
                                              static_cast<std::size_t>(image.size()));
    const std::optional<image::Sha256Digest> hash = image::McubootImage::carriedHash(bytes);
    if (!hash)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(hash->data()), static_cast<qsizetype>(hash->size()));
}
