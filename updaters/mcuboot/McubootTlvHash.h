#pragma once

#include <QByteArray>
#include <optional>

// The SHA-256 an image in MCUboot's format carries in its TLV area (type
// 0x10), as MCUboot reports it once it has validated the image. Nothing when
// the bytes are not laid out as an MCUboot image. Whether the hash is right
// is the unit's check.
std::optional<QByteArray> mcubootTlvSha256(const QByteArray& image);
