#pragma once

#include "AdmittedImage.h"
#include "CliConfig.h"
#include "FirmwareImage.h"

#include <QList>
#include <QString>
#include <optional>

// What an update run writes, settled before it looks for units: the file read
// once, a package opened and checked against the configuration, and the model
// identifiers a unit may have (device_id_list, narrowed to the package's models).
struct ImageForRun {
    FirmwareImage image;  // the bytes to write; the path is the file given
    AdmittedImage admitted;
    QList<uint8_t> deviceIds;

    // Fills `error` (exit code 2) when nothing may be written.
    static std::optional<ImageForRun> prepare(const UpdaterConfig& config, QString& error);
};
