#pragma once

#include "HistorySettings.h"
#include "StartupConfig.h"
#include "VidPid.h"

#include <QDir>
#include <QList>
#include <QSettings>
#include <QString>
#include <cstdint>
#include <map>

// The configuration both front ends run with, read once from config.ini: the
// back-end's values, the units that count as connected, the accepted model
// identifiers, where dfu-util-static is and where the history goes. The window's branding texts are
// read by the window itself.
struct UpdaterConfig {
    QString configPath;
    QString resourcesPath;
    QString dfuUtilPath;
    StartupConfig startup;
    std::map<QString, VidPid> products;
    QList<uint8_t> deviceIds;
    HistorySettings history;

    // Every value that does not convert is named in a warning and replaced by
    // its default, so reading never fails.
    static UpdaterConfig read(const QSettings& settings, const QDir& resourcesDir);
    static QString dfuUtilPathIn(const QDir& resourcesDir);

    bool isServiceImage() const { return startup.fwTargetType == QLatin1String("service"); }
};
