#include "PackageFile.h"

#include "PackageLimits.h"

#include <QFile>

namespace package {

namespace {

// The image, the manifest and room for the archive's own records.
constexpr qint64 kMaxPackageFileBytes = kMaxImageBytes + 4 * kMaxManifestBytes + 1024 * 1024;

} // namespace

std::optional<QByteArray> readPackageFile(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxPackageFileBytes) {
        error = QStringLiteral("is %1 bytes, larger than any package may be").arg(file.size());
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxPackageFileBytes + 1);
    if (bytes.size() > kMaxPackageFileBytes) {
        error = QStringLiteral("is larger than any package may be");
        return std::nullopt;
    }
    return bytes;
}

} // namespace package
