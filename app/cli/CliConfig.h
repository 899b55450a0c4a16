#pragma once

#include "CliOptions.h"
#include "FirmwareImage.h"
#include "HistorySettings.h"
#include "StartupConfig.h"
#include "VidPid.h"

#include <QList>
#include <QString>
#include <map>
#include <optional>

// The configuration a command runs with, read the way the window reads it;
// only the image may be replaced from the command line.
struct CliConfig {
    QString configPath;
    QString dfuUtilPath;
    StartupConfig startup;
    std::map<QString, VidPid> products;
    QList<uint8_t> deviceIds;
    HistorySettings history;

    // Fills `error` (what is wrong and what to do) when the file cannot be read.
    static std::optional<CliConfig> load(const CliOptions& options, QString& error);
    // The image the update writes, read once; fills `error` when it cannot be used.
    static std::optional<FirmwareImage> loadImage(const QString& path, QString& error);
};
