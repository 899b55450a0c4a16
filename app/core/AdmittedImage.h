#pragma once

#include "FirmwarePackage.h"

#include <QByteArray>
#include <QString>
#include <optional>

// What may be written from a firmware file: the bytes for the back-end, and
// the package they came from (none for a plain image).
struct AdmittedImage {
    QByteArray bytes;
    std::optional<FirmwarePackage> package;

    // The package's version; empty for a plain image.
    QString version() const { return package ? package->manifest.version : QString(); }
};
