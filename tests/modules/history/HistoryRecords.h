#pragma once

#include "AttemptRecord.h"
#include "HistoryLocation.h"

#include <QDateTime>
#include <QString>

// Small builders for the history tests.
namespace history_test {

inline AttemptRecord attempt(const QString& serial, const QString& outcome, const QString& station = "station-a",
                             const QDateTime& started = QDateTime::currentDateTimeUtc())
{
    AttemptRecord record;
    record.uid = AttemptRecord::newUid();
    record.startedUtc = started;
    record.endedUtc = outcome == QLatin1String("running") ? QDateTime() : started.addSecs(7);
    record.station = station;
    record.frontEnd = QStringLiteral("cli");
    record.port = QStringLiteral("/dev/ttyACM0");
    record.vidPid = QStringLiteral("1209:4c55");
    record.serialNumber = serial;
    record.modelId = 7;
    record.interfaceName = QStringLiteral("mcuboot_serial");
    record.imageName = QStringLiteral("firmware.bin");
    record.imageSha256 = QStringLiteral("aa11");
    record.imageVersion = QStringLiteral("1.4.0");
    record.outcome = outcome;
    record.seconds = outcome == QLatin1String("running") ? 0.0 : 7.0;
    return record;
}

inline HistoryLocation sqliteAt(const QString& path)
{
    HistoryLocation location;
    location.kind = HistoryLocation::Kind::Sqlite;
    location.sqlitePath = path;
    return location;
}

} // namespace history_test
