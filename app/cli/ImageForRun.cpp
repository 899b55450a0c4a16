#include "ImageForRun.h"

#include "ImageAdmission.h"

#include <QDir>
#include <QStringList>

std::optional<ImageForRun> ImageForRun::prepare(const UpdaterConfig& config, QString& error)
{
    const std::optional<FirmwareImage> file = CliConfig::loadImage(config.startup.firmwarePath, error);
    if (!file)
        return std::nullopt;
    QString reason;
    std::optional<AdmittedImage> admitted = ImageAdmission(config.startup).admit(file->path, file->bytes, reason);
    if (!admitted) {
        error = QStringLiteral("The %1. Nothing was written to any unit.").arg(reason);
        return std::nullopt;
    }
    ImageForRun run{FirmwareImage{file->path, admitted->bytes}, *admitted,
                    ImageAdmission::acceptedModels(config.deviceIds, *admitted)};
    // Service work takes any unit, so only a model check can come up empty.
    const bool checksModels = config.startup.fwTargetType != QLatin1String("service");
    if (admitted->package && checksModels && run.deviceIds.isEmpty()) {
        error = QStringLiteral("device_id_list (%1) and the models of the package %2 (%3) share no model "
                               "identifier, so no unit could be updated. Check that this is the package for this "
                               "configuration.")
                    .arg(PackageManifest::modelListText(config.deviceIds), QDir::toNativeSeparators(file->path),
                         PackageManifest::modelListText(admitted->package->manifest.models));
        return std::nullopt;
    }
    return run;
}
