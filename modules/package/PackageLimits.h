#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// What a package may hold. The limits bound the memory a hostile archive can
// make the reader use before anything in it was trusted.
namespace package {

inline constexpr qint64 kMaxManifestBytes = 64 * 1024;
inline constexpr qint64 kMaxImageBytes = 64 * 1024 * 1024;
inline constexpr qint64 kMaxEntries = 8;
inline constexpr qint64 kSignatureBytes = 64;

inline const QString kManifestEntry = QStringLiteral("manifest.json");
inline const QString kSignatureEntry = QStringLiteral("manifest.sig");

} // namespace package
