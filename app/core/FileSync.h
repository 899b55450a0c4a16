#pragma once

#include <QFile>
#include <QString>

// Records that must survive a crash or a power cut: opened for appending and
// synced to the disk after each write, on Windows as on Linux.

// Opens the file for unbuffered appending, creating it; afterwards its
// handle() is a C library descriptor on every system. Fills `error` on failure.
bool openForAppend(QFile& file, const QString& path, QString& error);
// Writes what the system still holds of the file through to the disk. A file
// that cannot be synced by its nature (a pipe, a terminal) counts as synced.
bool syncToDisk(const QFile& file, QString& error);
