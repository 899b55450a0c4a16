#pragma once

#include <QByteArray>
#include <QString>

// The bench image and the files a bench run writes and reads back.
namespace bench_files {

// Random bytes, the same every run, so nothing compresses or repeats.
QByteArray makeImage(qsizetype bytes);
bool write(const QString& path, const QByteArray& bytes);
// Empty when the file cannot be read.
QByteArray read(const QString& path);

} // namespace bench_files
