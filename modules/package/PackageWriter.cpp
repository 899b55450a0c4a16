#include "PackageWriter.h"

#include "PackageLimits.h"
#include "ZipArchiveWriter.h"

std::optional<QByteArray> PackageWriter::write(PackageManifest manifest, const QByteArray& image,
                                               const SigningKey& key, QString& error)
{
    manifest.describeImage(image);
    if (const QString problem = manifest.problem(); !problem.isEmpty()) {
        error = QStringLiteral("the manifest %1").arg(problem);
        return std::nullopt;
    }
    const QByteArray manifestJson = manifest.toJson();
    ZipArchiveWriter archive;
    archive.add(package::kManifestEntry, manifestJson);
    archive.add(manifest.image, image);
    archive.add(package::kSignatureEntry, key.sign(manifestJson));
    return archive.finish(error);
}
