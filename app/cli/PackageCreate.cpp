#include "PackageCreate.h"

#include "PackageEvent.h"
#include "PackageImageCheck.h"
#include "PackageLimits.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "SigningKey.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

std::optional<QByteArray> readImage(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot read the firmware image %1 (%2).")
                    .arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    if (file.size() > package::kMaxImageBytes) {
        error = QStringLiteral("The firmware image %1 is %2 bytes; a package holds at most %3.")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(file.size())
                    .arg(package::kMaxImageBytes);
        return std::nullopt;
    }
    return file.readAll();
}

PackageManifest manifestFor(const PackageOptions& options)
{
    PackageManifest manifest;
    manifest.product = options.product;
    manifest.version = options.version;
    manifest.interfaceName = options.interfaceName;
    manifest.models = options.models;
    manifest.image = QFileInfo(options.imageFile).fileName();
    manifest.programmingAddress = options.programmingAddress;
    manifest.notes = options.notes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    manifest.created = now.addMSecs(-now.time().msec());
    return manifest;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    error = QStringLiteral("Cannot write %1 (%2).").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

ExitCode refuse(const Console& console, const QString& text)
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("package")},
                              {QStringLiteral("valid"), false},
                              {QStringLiteral("reason"), text}});
    console.tell(QStringLiteral("No package was written: %1").arg(text));
    return ExitCode::UsageOrInput;
}

} // namespace

ExitCode runPackageCreate(const Console& console, const PackageOptions& options)
{
    QString error;
    const std::optional<QByteArray> image = readImage(options.imageFile, error);
    if (!image)
        return refuse(console, error);
    if (image->isEmpty())
        return refuse(console, QStringLiteral("The firmware image %1 is empty.").arg(QDir::toNativeSeparators(options.imageFile)));
    PackageManifest manifest = manifestFor(options);
    manifest.describeImage(*image);
    // What is wrong with the options is said before what is wrong with the image.
    if (const QString problem = manifest.problem(); !problem.isEmpty())
        return refuse(console, QStringLiteral("the manifest %1").arg(problem));
    error = checkImageForPackage(manifest.image, *image, options.interfaceName, options.programmingAddress);
    if (!error.isEmpty())
        return refuse(console, error);
    const std::optional<SigningKey> key = SigningKey::load(options.keyFile, error);
    if (!key)
        return refuse(console, error);
    const std::optional<QByteArray> archive = PackageWriter::write(manifest, *image, *key, error);
    if (!archive)
        return refuse(console, error);
    // Read back as a service machine would, so a package that would be refused is never handed out.
    TrustedKeys signer;
    signer.add(QFileInfo(options.keyFile).completeBaseName(), key->publicKey());
    const PackageVerdict written = PackageReader(signer).read(*archive);
    if (!written.isValid())
        return refuse(console, QStringLiteral("the package made does not read back: %1").arg(written.reason));
    if (!writeFile(options.out, *archive, error))
        return refuse(console, error);
    const PackageManifest& stored = written.package->manifest;
    console.event(packageEvent(options.out, *written.package));
    const QString product = stored.product.isEmpty() ? QString() : stored.product + QLatin1Char(' ');
    console.line(QStringLiteral("wrote %1: %2version %3 for %4, models %5, image %6 (%7 bytes, SHA-256 %8)")
                     .arg(QDir::toNativeSeparators(options.out), product, stored.version,
                          stored.interfaceName, stored.modelsText(), stored.image)
                     .arg(stored.size)
                     .arg(stored.sha256));
    return ExitCode::Done;
}
