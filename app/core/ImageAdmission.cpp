#include "ImageAdmission.h"

#include "ConfigConversions.h"
#include "PackageReader.h"
#include "TrustedKeys.h"

#include <QDebug>
#include <QFileInfo>

namespace {

InterfaceType interfaceOf(const QString& name)
{
    if (name == QLatin1String("usb"))
        return InterfaceType::Usb;
    if (name == QLatin1String("mcuboot_serial"))
        return InterfaceType::McubootSerial;
    return InterfaceType::Uart;
}

QString configuredName(InterfaceType type)
{
    switch (type) {
    case InterfaceType::Usb:
        return QStringLiteral("usb");
    case InterfaceType::McubootSerial:
        return QStringLiteral("mcuboot_serial");
    case InterfaceType::Uart:
        break;
    }
    return QStringLiteral("uart");
}

} // namespace

ImageAdmission::ImageAdmission(const StartupConfig& config)
    : interface_type(config.interfaceType),
      programming_address(config.programmingAddress),
      require_signed_package(config.requireSignedPackage),
      keys_folder(config.trustedKeysFolder)
{
}

bool ImageAdmission::isPackage(const QString& path, const QByteArray& fileBytes)
{
    return path.endsWith(QLatin1String(".fwpkg"), Qt::CaseInsensitive) || PackageReader::looksLikePackage(fileBytes);
}

std::optional<AdmittedImage> ImageAdmission::admit(const QString& path, const QByteArray& fileBytes,
                                                   QString& reason) const
{
    const QString name = QFileInfo(path).fileName();
    if (!isPackage(path, fileBytes)) {
        if (!require_signed_package)
            return AdmittedImage{fileBytes, std::nullopt};
        reason = QStringLiteral("firmware image \"%1\" is not a signed package, and require_signed_package is true")
                     .arg(name);
        return std::nullopt;
    }
    QStringList keyProblems;
    const TrustedKeys keys = TrustedKeys::loadFolder(keys_folder, keyProblems);
    for (const QString& problem : keyProblems)
        qWarning().noquote() << QStringLiteral("%1; it is not trusted").arg(problem);
    PackageVerdict verdict = PackageReader(keys).read(fileBytes);
    if (verdict.isValid())
        verdict.reason = checkFitsConfiguration(verdict.package->manifest);
    if (!verdict.reason.isEmpty()) {
        reason = QStringLiteral("package \"%1\" is refused: %2").arg(name, verdict.reason);
        return std::nullopt;
    }
    const QByteArray image = verdict.package->image;
    return AdmittedImage{image, std::move(verdict.package)};
}

QString ImageAdmission::checkFitsConfiguration(const PackageManifest& manifest) const
{
    if (interfaceOf(manifest.interfaceName) != interface_type)
        return QStringLiteral("it is for the interface %1, the configuration uses %2")
            .arg(manifest.interfaceName, configuredName(interface_type));
    if (manifest.programmingAddress && *manifest.programmingAddress != programming_address)
        return QStringLiteral("it is for the programming address %1, the configuration has %2")
            .arg(PackageManifest::addressText(*manifest.programmingAddress),
                 PackageManifest::addressText(programming_address));
    return {};
}

QList<uint8_t> ImageAdmission::acceptedModels(const QList<uint8_t>& deviceIds, const AdmittedImage& image)
{
    if (!image.package)
        return deviceIds;
    QList<uint8_t> accepted;
    for (const uint8_t id : deviceIds)
        if (image.package->manifest.models.contains(id) && !accepted.contains(id))
            accepted.append(id);
    return accepted;
}
