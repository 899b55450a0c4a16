#pragma once

#include "FirmwareImage.h"

#include <QByteArray>
#include <QString>

// What support needs to know about the firmware image: its name, size and
// SHA-256, or why it could not be read.
struct ImageInfo {
    QString path;
    bool readable = false;
    qint64 size = 0;
    QString sha256;  // lower-case hexadecimal
    QString error;

    static ImageInfo read(const QString& path);
    static ImageInfo of(const FirmwareImage& image);
    QString describe() const;
};
