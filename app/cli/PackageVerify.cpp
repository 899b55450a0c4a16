#include "PackageVerify.h"

#include "PackageEvent.h"
#include "PackageFile.h"
#include "PackageReader.h"

#include <QDir>

namespace {

void printPackage(const Console& console, const QString& file, const FirmwarePackage& package)
{
    const PackageManifest& manifest = package.manifest;
    console.line(QStringLiteral("valid package %1").arg(QDir::toNativeSeparators(file)));
    console.line(QStringLiteral("product    %1").arg(manifest.product));
    console.line(QStringLiteral("version    %1").arg(manifest.version));
    console.line(QStringLiteral("interface  %1").arg(manifest.interfaceName));
    console.line(QStringLiteral("models     %1").arg(manifest.modelsText()));
    console.line(QStringLiteral("image      %1, %2 bytes, SHA-256 %3").arg(manifest.image).arg(manifest.size).arg(manifest.sha256));
    if (manifest.programmingAddress)
        console.line(QStringLiteral("address    %1").arg(PackageManifest::addressText(*manifest.programmingAddress)));
    console.line(QStringLiteral("created    %1").arg(manifest.created.toString(Qt::ISODate)));
    if (manifest.notes)
        console.line(QStringLiteral("notes      %1").arg(*manifest.notes));
    console.line(QStringLiteral("signed by  %1").arg(package.keyName));
}

} // namespace

ExitCode runPackageVerify(const Console& console, const PackageOptions& options)
{
    QStringList problems;
    const TrustedKeys keys = TrustedKeys::loadFolder(QDir(options.resourcesDir).filePath(QStringLiteral("keys")), problems);
    for (const QString& problem : problems)
        console.tell(QStringLiteral("Warning: %1; it is not trusted.").arg(problem));
    QString error;
    PackageVerdict verdict;
    if (const std::optional<QByteArray> bytes = package::readPackageFile(options.packageFile, error))
        verdict = PackageReader(keys).read(*bytes);
    else
        verdict.reason = QStringLiteral("the file %1").arg(error);
    if (!verdict.isValid()) {
        console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("package")},
                                  {QStringLiteral("file"), options.packageFile},
                                  {QStringLiteral("valid"), false},
                                  {QStringLiteral("reason"), verdict.reason}});
        console.tell(QStringLiteral("The package %1 is not valid: %2.")
                         .arg(QDir::toNativeSeparators(options.packageFile), verdict.reason));
        return ExitCode::UsageOrInput;
    }
    console.event(packageEvent(options.packageFile, *verdict.package));
    printPackage(console, options.packageFile, *verdict.package);
    return ExitCode::Done;
}
