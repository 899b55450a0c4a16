#pragma once

#include <QByteArray>
#include <cstdint>
#include <span>

// A test image as the reader takes it.
inline std::span<const std::uint8_t> bytesOf(const QByteArray& image)
{
    return {reinterpret_cast<const std::uint8_t*>(image.constData()), static_cast<std::size_t>(image.size())};
}
