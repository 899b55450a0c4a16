#pragma once

#include "Console.h"
#include "ConnectionStatus.h"
#include "ExitCode.h"
#include "FoundUnit.h"
#include "ProgressDisplay.h"
#include "UnitAttempt.h"
#include "UnitIdentity.h"
#include "UnitOutcome.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <optional>

class UpdateSession;
class UnitBoard;
class UnitFinder;

// The update command's flow over the session: waits for the one unit, lets
// the back-end connect and check its model identifier, updates it, and ends
// with the exit code of the outcome. Under update --all it is one unit's attempt.
class UpdateRun : public UnitAttempt {
    Q_OBJECT

public:
    struct Settings {
        int waitSeconds = 0;
        QString onlyPort;  // --port, empty for any
        bool serviceMode = false;  // no model check
        qint64 imageSize = 0;
        QString imageVersion;  // the package's version, empty for a plain image
        QString logPath;
        // Decides whether a unit that identified itself is left alone.
        SkipRule skipRule;
    };

    UpdateRun(const Console& console, UpdateSession& session, const Settings& settings, QObject* parent = nullptr);

    // One of several units: its status goes to its line on the board, and the
    // advice on a failure is kept for the end (UnitOutcome::reason has the gist).
    void setBoard(UnitBoard* unitBoard) { board = unitBoard; }
    void start(const UnitFinder& finder, const QList<uint8_t>& deviceIds) override;
    const QString& advice() const { return final_advice; }

signals:
    void Finished(int exitCode);

private slots:
    void onUnitsChecked(const QList<FoundUnit>& units);
    void onUnitRequested(const FoundUnit& unit);
    void onConnectionStatus(ConnectionStatus status);
    void onUnitIdentified(const UnitIdentity& identity);
    void onUpdateStarted();
    void onUpdateFinished(bool status);
    void onWaitOver();

private:
    void connectToSession();
    void reportModel(bool accepted, std::optional<int> model = std::nullopt);
    void startUpdate();
    void startUnlessSkipped();
    void skip(const QString& reason);
    void refuseSeveral(const QList<FoundUnit>& units);
    void giveUpSearching();
    void finish(ExitCode code, const QString& reason, const QString& advice);
    bool waitIsOver() const;
    QString logHint() const;
    void status(const QString& text) const;

    const Console& console;
    UpdateSession& session;
    Settings settings;
    QList<uint8_t> device_ids;
    QElapsedTimer search_clock;
    QElapsedTimer update_clock;
    std::optional<FoundUnit> unit;
    std::optional<ProgressDisplay> display;
    UnitBoard* board = nullptr;
    UnitIdentity identity;
    QString final_advice;
    QString failure_reason; // the back-end's word on why the update failed
    std::optional<bool> verified; // empty: not read back, or the unit could not tell
    bool unit_unanswered = false;
    bool updating = false;
    bool identifying = false;
    bool finished = false;
    bool skipped = false;
};
