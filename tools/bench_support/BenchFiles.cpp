#include "BenchFiles.h"

#include <QFile>
#include <random>

namespace bench_files {

QByteArray makeImage(qsizetype bytes)
{
    std::mt19937 generator(0x5EED);
    QByteArray image(bytes, Qt::Uninitialized);
    for (char& byte : image)
        byte = static_cast<char>(generator() & 0xFF);
    return image;
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace bench_files
