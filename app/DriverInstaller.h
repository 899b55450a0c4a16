#pragma once

#include "InterfaceType.h"

#include <QString>
#include <QStringList>

// Installs the driver package of the configured interface with PnPutil.exe.
// Never fails the start: problems only reach the message log.
class DriverInstaller {
public:
    static constexpr const char* kTool = "PnPutil.exe";

    static QString packagePath(const QString& applicationDir, InterfaceType type);
    static QStringList arguments(const QString& packagePath);
    static void install(const QString& applicationDir, InterfaceType type,
                        int startTimeoutMs = 30000, int finishTimeoutMs = 60000);
};
