#include "ImageInfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

ImageInfo ImageInfo::read(const QString& path)
{
    ImageInfo info;
    info.path = path;
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        info.error = QStringLiteral("is a folder, not a file");
        return info;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        info.error = file.errorString();
        return info;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        info.error = file.errorString();
        return info;
    }
    info.readable = true;
    info.size = file.size();
    info.sha256 = QString::fromLatin1(hash.result().toHex());
    return info;
}

QString ImageInfo::describe() const
{
    if (!readable)
        return QStringLiteral("%1 (cannot be read: %2)").arg(path, error);
    return QStringLiteral("%1, %2 bytes, SHA-256 %3").arg(path).arg(size).arg(sha256);
}
