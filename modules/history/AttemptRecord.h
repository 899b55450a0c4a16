#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One update attempt as the history keeps it. A row is written as the update
// starts (outcome "running") and completed, under the same uid, when it ends.
struct AttemptRecord {
    // Unique across every station, so a row sent twice is still one row.
    QString uid;
    QDateTime startedUtc;
    QDateTime endedUtc; // invalid while running
    QString station;
    QString frontEnd; // "window" or "cli"
    QString port;
    QString vidPid;
    QString serialNumber;
    std::optional<int> modelId;
    QString interfaceName;
    QString imageName;
    QString imageSha256;
    QString imageVersion;
    QString outcome = QStringLiteral("running");
    QString reason;
    double seconds = 0.0;
    std::optional<bool> verified;

    static QString newUid();
    // Times are kept as ISO 8601 UTC text with milliseconds, which sorts as time does.
    static QString timeText(const QDateTime& time);
    static QDateTime timeFromText(const QString& text);
    // The outcomes a row can have.
    static const QStringList& outcomes();
};
