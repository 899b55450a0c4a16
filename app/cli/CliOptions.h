#pragma once

#include "PackageOptions.h"
#include "HistoryOptions.h"

#include <QString>
#include <QStringList>
#include <optional>

// The parsed command line of fwupdater-cli.
struct CliOptions {
    enum class Command { List, Update, CheckImage, Package, History, Help, Version };

    Command command = Command::Help;
    bool json = false;
    QString port;
    int waitSeconds = 0;
    QString logFile;
    QString resourcesDir;
    QString configFile;
    QString imageFile;
    bool all = false;
    int count = 0;
    bool watch = false;
    QString reportFile;
    PackageOptions package;
    QString historyUrl; // --history, in place of config.ini's history=
    bool force = false; // --all: update units the history has as done with this image
    HistoryOptions history;
    // --verify / --no-verify: overrides verify_after_write for this run.
    std::optional<bool> verify;

    // Fills `error` and gives nothing when the line cannot be used.
    static std::optional<CliOptions> parse(const QStringList& arguments, const QString& applicationDir,
                                           QString& error);
    static QString helpText();
};
