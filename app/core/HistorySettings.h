#pragma once

#include "HistoryLocation.h"
#include "HistoryService.h"

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

// How this program reaches the production history: config.ini's history=
// (or --history) and history_required, and the name the station records.
struct HistorySettings {
    QString location; // as written; empty means the default file
    bool required = false;

    static constexpr const char* kStationVariable = "FWUPDATER_STATION";

    static HistorySettings read(const QSettings& settings);
    // history.sqlite in the application-data folder, beside logs/.
    static QString defaultFile();
    // FWUPDATER_STATION when set (several stations on one machine, as in
    // tests), otherwise the host name.
    static QString stationName();

    // `override` (--history) wins over the file's value; empty when the
    // value cannot be used, with `error` saying why.
    std::optional<HistoryLocation> resolve(const QString& override, QString& error) const;
    // The history for a front end that updates units, opening in the
    // background; with `required`, opened at once, and empty (with `error`)
    // when it cannot be written.
    std::unique_ptr<HistoryService> startService(const HistoryLocation& location, HistoryService::Notify warn,
                                                 QString& error) const;
};
