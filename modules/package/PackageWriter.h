#pragma once

#include "PackageManifest.h"
#include "SigningKey.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Builds a signed package: manifest.json, the image and manifest.sig, the
// Ed25519 signature over the exact manifest bytes stored.
class PackageWriter {
public:
    // Fills in the manifest's size and SHA-256 from the image; gives the
    // archive's bytes, or nothing (with `error`) for a manifest that cannot be
    // written.
    static std::optional<QByteArray> write(PackageManifest manifest, const QByteArray& image, const SigningKey& key,
                                           QString& error);
};
