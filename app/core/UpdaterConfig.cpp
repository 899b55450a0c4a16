#include "UpdaterConfig.h"

#include "ConfigConversions.h"

#include <QFileInfo>

UpdaterConfig UpdaterConfig::read(const QSettings& settings, const QDir& resourcesDir)
{
    UpdaterConfig config;
    config.configPath = QFileInfo(settings.fileName()).absoluteFilePath();
    config.resourcesPath = resourcesDir.path();
    config.dfuUtilPath = dfuUtilPathIn(resourcesDir);
    config.startup = StartupConfig::read(settings, resourcesDir);
    config.products = config::toProductTable(settings.value("product_list"));
    config.deviceIds = config::toDeviceIdList(settings.value("device_id_list"));
    config.history = HistorySettings::read(settings);
    return config;
}

QString UpdaterConfig::dfuUtilPathIn(const QDir& resourcesDir)
{
    return resourcesDir.filePath(QStringLiteral("dfu-util-static"));
}
