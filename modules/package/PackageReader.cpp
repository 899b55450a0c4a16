#include "PackageReader.h"

#include "PackageEntryName.h"
#include "PackageLimits.h"
#include "ZipArchiveReader.h"

#include <QCryptographicHash>

namespace {

PackageVerdict refused(const QString& reason)
{
    return PackageVerdict{std::nullopt, reason};
}

} // namespace

bool PackageReader::looksLikePackage(const QByteArray& bytes)
{
    return bytes.startsWith(QByteArrayLiteral("PK\x03\x04")) || bytes.startsWith(QByteArrayLiteral("PK\x05\x06"));
}

PackageVerdict PackageReader::read(const QByteArray& bytes) const
{
    QString problem;
    const std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(bytes, problem);
    if (!archive)
        return refused(QStringLiteral("the package is %1").arg(problem));
    if (problem = checkEntries(*archive); !problem.isEmpty())
        return refused(problem);
    // Nothing of the manifest is looked at before its signature was verified.
    FirmwarePackage package;
    QByteArray manifestJson;
    if (problem = checkSignature(*archive, manifestJson, package.keyName); !problem.isEmpty())
        return refused(problem);
    std::optional<PackageManifest> manifest = PackageManifest::parse(manifestJson, problem);
    if (!manifest)
        return refused(problem);
    package.manifest = std::move(*manifest);
    if (problem = checkImage(*archive, package.manifest, package.image); !problem.isEmpty())
        return refused(problem);
    return PackageVerdict{std::move(package), {}};
}

QString PackageReader::checkEntries(const ZipArchiveReader& archive)
{
    const auto& entries = archive.entries();
    if (entries.size() > package::kMaxEntries)
        return QStringLiteral("the package holds %1 files, more than the %2 a package may hold")
            .arg(entries.size())
            .arg(package::kMaxEntries);
    // Two entries of one name never get here: libzip refuses such an archive as it opens it.
    for (const ZipArchiveReader::Entry& entry : entries)
        if (!package::isSafeEntryName(entry.name))
            return QStringLiteral("the package holds a file named \"%1\", which is not a plain file name")
                .arg(QString::fromUtf8(entry.name));
    return {};
}

QString PackageReader::checkSignature(const ZipArchiveReader& archive, QByteArray& manifestJson,
                                      QString& keyName) const
{
    QString problem;
    const std::optional<QByteArray> manifest = archive.read(package::kManifestEntry, package::kMaxManifestBytes, problem);
    if (!manifest)
        return QStringLiteral("the package's %1").arg(problem);
    const std::optional<QByteArray> signature =
        archive.read(package::kSignatureEntry, package::kSignatureBytes, problem);
    if (!signature)
        return QStringLiteral("the package is not signed: %1").arg(problem);
    if (trusted_keys.isEmpty())
        return QStringLiteral("no trusted key to check the package's signature with: put the release's public "
                              "key (NAME.pub) into Resources/keys");
    const std::optional<QString> signer = trusted_keys.signerOf(*manifest, *signature);
    if (!signer)
        return QStringLiteral("the package's signature does not verify with any trusted key (%1)")
            .arg(trusted_keys.names().join(QStringLiteral(", ")));
    manifestJson = *manifest;
    keyName = *signer;
    return {};
}

QString PackageReader::checkImage(const ZipArchiveReader& archive, const PackageManifest& manifest, QByteArray& image)
{
    const std::optional<ZipArchiveReader::Entry> entry = archive.entryNamed(manifest.image);
    if (!entry)
        return QStringLiteral("the package holds no image \"%1\"").arg(manifest.image);
    if (entry->size != manifest.size)
        return QStringLiteral("the package's image \"%1\" is %2 bytes, the manifest says %3")
            .arg(manifest.image)
            .arg(entry->size)
            .arg(manifest.size);
    QString problem;
    const std::optional<QByteArray> bytes = archive.read(manifest.image, package::kMaxImageBytes, problem);
    if (!bytes)
        return QStringLiteral("the package's %1").arg(problem);
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256).toHex());
    if (digest != manifest.sha256)
        return QStringLiteral("the package's image \"%1\" has the SHA-256 %2, the manifest says %3")
            .arg(manifest.image, digest, manifest.sha256);
    image = *bytes;
    return {};
}
