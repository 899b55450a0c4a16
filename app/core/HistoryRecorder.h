#pragma once

#include "AttemptRecord.h"
#include "ConnectionStatus.h"
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
        QString imagePath;
        // Known when the front end read the image once; otherwise read from
        // imagePath as each update starts.
        QString imageSha256;
        QString imageVersion;
    };

    HistoryRecorder(HistoryService& history, UpdateSession& session, const Settings& settings,
                    QObject* parent = nullptr);

private slots:
    void onUnitsChecked(const QList<FoundUnit>& units);
    void onUnitRequested(const FoundUnit& unit);
    void onUnitIdentified(const UnitIdentity& identity);
    void onConnectionStatus(ConnectionStatus status);
    void onUpdateStarted();
    void onUpdateFinished(bool status);

private:
    AttemptRecord newAttempt() const;

    HistoryService& history;
    Settings settings;
    std::optional<FoundUnit> unit;
    UnitIdentity identity;
    std::optional<AttemptRecord> running;
    QElapsedTimer clock;
    QString refused_port; // refused already; not recorded again until it goes away
    QString failure_reason; // the back-end's word on the running update's failure
};
