#pragma once

#include "CliOptions.h"
#include "FirmwareImage.h"
#include "UpdaterConfig.h"

#include <QString>
#include <optional>

// The configuration a command runs with, read as the window reads it; only
// the image may be replaced from the command line. Unlike the window, a
// command does not run on a file it cannot read.
class CliConfig {
public:
    // Fills `error` (what is wrong and what to do) when the file cannot be read.
    static std::optional<UpdaterConfig> load(const CliOptions& options, QString& error);
    // The image the update writes, read once; fills `error` when it cannot be used.
    static std::optional<FirmwareImage> loadImage(const QString& path, QString& error);
};
