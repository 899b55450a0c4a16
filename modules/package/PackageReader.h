#pragma once

#include "PackageVerdict.h"
#include "TrustedKeys.h"

#include <QByteArray>

class ZipArchiveReader;

// Reads a package from its bytes and accepts it only when the archive keeps
// to the limits, its manifest is signed by a trusted key and the image is the
// one the manifest describes. Nothing is written anywhere.
class PackageReader {
public:
    explicit PackageReader(TrustedKeys trusted) : trusted_keys(std::move(trusted)) {}

    // True when the bytes start like a ZIP archive, as every package does.
    static bool looksLikePackage(const QByteArray& bytes);

    PackageVerdict read(const QByteArray& archive) const;

private:
    static QString checkEntries(const ZipArchiveReader& archive);
    QString checkSignature(const ZipArchiveReader& archive, QByteArray& manifestJson, QString& keyName) const;
    static QString checkImage(const ZipArchiveReader& archive, const PackageManifest& manifest, QByteArray& image);

    TrustedKeys trusted_keys;
};
