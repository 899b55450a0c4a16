#include "PrivateToolFile.h"

#include <QFile>
#include <QFileInfo>

namespace stm32_updater {

PrivateToolFile::PrivateToolFile(const QString& fileName) : file_path(folder.filePath(fileName)) {}

std::optional<QByteArray> PrivateToolFile::read(qint64 expectedSize) const
{
    const QFileInfo info(file_path);
    if (!isValid() || info.isSymLink() || !info.isFile() || info.size() != expectedSize)
        return std::nullopt;
    QFile file(file_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (bytes.size() != expectedSize)
        return std::nullopt;
    return bytes;
}

} // namespace stm32_updater
