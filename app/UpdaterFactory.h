#pragma once

#include "FirmwareUpdaterBase.h"
#include "StartupConfig.h"

#include <QString>
#include <memory>

// Builds the back-end that the configuration asks for, or returns null when
// this build has none for that interface.
std::unique_ptr<FirmwareUpdaterBase> createUpdater(const StartupConfig& config, const QString& dfuUtilPath);

// The interface's name as written in config.ini, for messages.
QString interfaceName(InterfaceType type);
