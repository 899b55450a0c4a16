#include "ImageInfo.h"

ImageInfo ImageInfo::read(const QString& path)
{
    QString error;
    if (const std::optional<FirmwareImage> image = FirmwareImage::load(path, error))
        return of(*image);
    ImageInfo info;
    info.path = path;
    info.error = error;
    return info;
}

ImageInfo ImageInfo::of(const FirmwareImage& image)
{
    ImageInfo info;
    info.path = image.path;
    info.readable = true;
    info.size = image.bytes.size();
    info.sha256 = image.sha256Hex();
    return info;
}

QString ImageInfo::describe() const
{
    if (!readable)
        return QStringLiteral("%1 (cannot be read: %2)").arg(path, error);
    return QStringLiteral("%1, %2 bytes, SHA-256 %3").arg(path).arg(size).arg(sha256);
}
