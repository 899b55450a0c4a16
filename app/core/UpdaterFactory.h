#pragma once

#include "FirmwareUpdaterBase.h"
#include "StartupConfig.h"

#include <QString>
#include <memory>

// Builds the back-end that the configuration asks for.
std::unique_ptr<FirmwareUpdaterBase> createUpdater(const StartupConfig& config, const QString& dfuUtilPath);
