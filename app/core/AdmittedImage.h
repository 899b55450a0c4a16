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
    // For the session log: product, version, SHA-256 and signing key; empty for a plain image.
    QString packageText() const
    {
        if (!package)
            return {};
        const PackageManifest& manifest = package->manifest;
        return QStringLiteral("package: product \"%1\", version %2, image %3 SHA-256 %4, signed by key \"%5\"")
            .arg(manifest.product, manifest.version, manifest.image, manifest.sha256, package->keyName);
    }
};
