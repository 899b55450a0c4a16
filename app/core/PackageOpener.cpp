#include "PackageOpener.h"

#include <QDebug>
#include <QStringList>

QList<uint8_t> PackageOpener::modelsAtStartup(const QString& firmwarePath, const QList<uint8_t>& deviceIds)
{
    QString reason;
    const std::optional<FirmwareImage> file = FirmwareImage::load(firmwarePath, reason);
    if (!file || !ImageAdmission::isPackage(file->path, file->bytes))
        return deviceIds;
    const std::optional<AdmittedImage> admitted = admission.admit(file->path, file->bytes, reason);
    if (!admitted) {
        qWarning().noquote() << QStringLiteral("firmware_filename: %1; every update is refused").arg(reason);
        return deviceIds;
    }
    startup_models = admitted->package->manifest.models;
    const QList<uint8_t> accepted = ImageAdmission::acceptedModels(deviceIds, *admitted);
    if (accepted.isEmpty())
        qWarning().noquote() << QStringLiteral("device_id_list (%1) and the package's models (%2) share no model "
                                               "identifier; every unit is refused")
                                    .arg(PackageManifest::modelListText(deviceIds),
                                         PackageManifest::modelListText(*startup_models));
    return accepted;
}

FirmwareImage PackageOpener::open(const FirmwareImage& file, QString& refusal) const
{
    const std::optional<AdmittedImage> admitted = admission.admit(file.path, file.bytes, refusal);
    if (!admitted)
        return file;
    if (admitted->package && admitted->package->manifest.models != startup_models) {
        // The unit was checked against the models read at start-up.
        refusal = QStringLiteral("package \"%1\" is not the one the updater started with; restart the updater")
                      .arg(file.fileName());
        return file;
    }
    if (admitted->package)
        qInfo().noquote() << admitted->packageText();
    return FirmwareImage{file.path, admitted->bytes};
}
