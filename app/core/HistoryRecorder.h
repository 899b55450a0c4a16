#pragma once

#include "AttemptRecord.h"
#include "ConnectionStatus.h"
#include "FirmwareImage.h"
#include "FoundUnit.h"
#include "UnitIdentity.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class HistoryService;
class UpdateSession;

// Records each attempt of one update session in the history: a "running" row
// when the update starts, completed as "done" or "failed" when it ends, and a
// "refused" row when the unit's model identifier is refused (once while the
// unit stays plugged in).
class HistoryRecorder : public QObject {
    Q_OBJECT

public:
    struct Settings {
        QString frontEnd; // "window" or "cli"
        QString interfaceName;
        QString imageVersion;
    };

    HistoryRecorder(HistoryService& history, UpdateSession& session, const Settings& settings,
                    QObject* parent = nullptr);

private slots:
    void onUnitsChecked(const QList<FoundUnit>& units);
    void onUnitRequested(const FoundUnit& unit);
    void onUnitIdentified(const UnitIdentity& identity);
    void onConnectionStatus(ConnectionStatus status);
    void onImageChosen(const FirmwareImage& image);
    void onFailureReason(const QString& reason);
    void onUpdateStarted();
    void onUpdateFinished(bool status);

private:
    AttemptRecord newAttempt() const;

    void takeImageOf(const FirmwareImage& image);

    HistoryService& history;
    const UpdateSession& session;
    Settings settings;
    std::optional<FoundUnit> unit;
    UnitIdentity identity;
    std::optional<AttemptRecord> running;
    QElapsedTimer clock;
    QString refused_port; // refused already; not recorded again until it goes away
    QString image_name;
    QString image_sha256;
    QString failure_reason;
};
