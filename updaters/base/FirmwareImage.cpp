#include "FirmwareImage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

std::optional<FirmwareImage> FirmwareImage::load(const QString& path, QString& error)
{
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("is a folder, not a file");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    FirmwareImage image{path, file.readAll()};
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return std::nullopt;
    }
    return image;
}

QString FirmwareImage::unreadableText(const QString& path, const QString& error)
{
    return QStringLiteral("firmware image \"%1\" cannot be read: %2").arg(path, error);
}

QString FirmwareImage::fileName() const
{
    return QFileInfo(path).fileName();
}

QString FirmwareImage::sha256Hex() const
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
