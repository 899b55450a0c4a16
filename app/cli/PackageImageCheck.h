#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The image checks a plain image gets before it is written, run on the image
// a package is made from: why it cannot be right for the interface, or empty.
QString checkImageForPackage(const QString& fileName, const QByteArray& image, const QString& interfaceName,
                             std::optional<std::uint32_t> programmingAddress);
