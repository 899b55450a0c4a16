#include "CliConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

std::optional<UpdaterConfig> CliConfig::load(const CliOptions& options, QString& error)
{
    const QFileInfo file(options.configFile);
    if (!file.isFile() || !file.isReadable()) {
        error = QStringLiteral("Cannot read the configuration %1. Give the right file with --config, or the "
                               "Resources folder that holds config.ini with --resources.")
                    .arg(QDir::toNativeSeparators(options.configFile));
        return std::nullopt;
    }
    QSettings settings(options.configFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = QStringLiteral("The configuration %1 is not a readable INI file. Check its contents.")
                    .arg(QDir::toNativeSeparators(options.configFile));
        return std::nullopt;
    }
    UpdaterConfig config = UpdaterConfig::read(settings, QDir(options.resourcesDir));
    if (!options.imageFile.isEmpty())
        config.startup.firmwarePath = QFileInfo(options.imageFile).absoluteFilePath();
    if (options.verify)
        config.startup.verifyAfterWrite = *options.verify;
    return config;
}

std::optional<FirmwareImage> CliConfig::loadImage(const QString& path, QString& error)
{
    const QString shown = QDir::toNativeSeparators(path);
    QString reason;
    std::optional<FirmwareImage> image = FirmwareImage::load(path, reason);
    if (!image)
        error = QStringLiteral("Cannot read the firmware image %1 (%2). Check firmware_filename in the "
                               "configuration, or give the image with --image.")
                    .arg(shown, reason);
    else if (image->bytes.isEmpty())
        error = QStringLiteral("The firmware image %1 is empty. Give a built image with --image.").arg(shown);
    if (!error.isEmpty())
        return std::nullopt;
    return image;
}
