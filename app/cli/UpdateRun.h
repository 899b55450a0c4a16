#pragma once

#include "Console.h"
#include "ConnectionStatus.h"
#include "ExitCode.h"
#include "FoundUnit.h"
#include "ProgressDisplay.h"
#include "UnitIdentity.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class UpdateSession;
class UnitFinder;

// The update command's flow over the session: waits for the one unit, lets
// the back-end connect and check its model identifier, updates it, and ends
// with the exit code of the outcome.
class UpdateRun : public QObject {
    Q_OBJECT

public:
    struct Settings {
        int waitSeconds = 0;
        QString onlyPort;  // --port, empty for any
        bool serviceMode = false;  // no model check
        qint64 imageSize = 0;
        QString logPath;
    };

    UpdateRun(const Console& console, UpdateSession& session, const Settings& settings, QObject* parent = nullptr);

    void start(const UnitFinder& finder, const QList<uint8_t>& deviceIds);

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
    void refuseSeveral(const QList<FoundUnit>& units);
    void giveUpSearching();
    void finish(ExitCode code, const QString& reason, const QString& advice);
    bool waitIsOver() const;
    QString logHint() const;

    const Console& console;
    UpdateSession& session;
    Settings settings;
    QList<uint8_t> device_ids;
    QElapsedTimer search_clock;
    QElapsedTimer update_clock;
    std::optional<FoundUnit> unit;
    std::optional<ProgressDisplay> display;
    bool unit_unanswered = false;
    bool updating = false;
    bool identifying = false;
    bool finished = false;
};
