#pragma once

#include "ExitCode.h"
#include "FirmwareImage.h"
#include "FoundUnit.h"
#include "ProductionReport.h"
#include "UnitAttempt.h"
#include "UnitFinder.h"
#include "UnitOutcome.h"
#include "UpdaterConfig.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class HistoryService;
class SessionLog;
class SessionRecorder;
class UpdateSession;

// The production line's rules, free of any display: every candidate unit is
// updated at the same time, each with a back-end of its own on its own worker
// thread, and one unit's fault never stops the others. With watching, every
// unit that appears later is updated once too, until the run is interrupted.
// DFU units go one after another, each named to the tool by its USB path.
// Each unit's outcome goes to the report; the run ends with the worst one.
// A front end draws the run from its signals and supplies each unit's attempt.
class ProductionRun : public QObject {
    Q_OBJECT

public:
    struct Settings {
        int waitSeconds = 0;
        int count = 0; // 0: whatever is present
        bool watch = false;
        QString reportPath;
        FirmwareImage image; // read once: every unit gets these bytes
        QString imageVersion; // the package's version, empty for a plain image
        QString frontEnd;     // as the history names it
        HistoryService* history = nullptr; // none with history=off
        bool force = false;                // update units the history has as done
        // Asked before a unit is started: true once Ctrl-C was pressed, so that
        // no unit starts between the key and interrupt().
        std::function<bool()> interruptCheck;
    };
    // Builds the attempt that drives one unit's session and draws it.
    using AttemptFactory = std::function<std::unique_ptr<UnitAttempt>(
        UpdateSession& session, const FoundUnit& unit, const UnitAttempt::SkipRule& skip)>;

    ProductionRun(const UpdaterConfig& config, SessionLog& log, const Settings& settings,
                  AttemptFactory attemptFactory, QObject* parent = nullptr);
    ~ProductionRun() override;

    // Starts from the event loop, so every outcome reaches a running loop.
    void start();
    // Ctrl-C: no unit is started any more; running updates end as they would.
    void interrupt();

    // Why a unit is left alone although it was found and answered: the one
    // place that decides it. Updated earlier in this run is known at once; the
    // history is asked on its own thread.
    void decideSkip(const UnitIdentity& identity, QObject* context, const UnitAttempt::SkipAnswer& answer) const;

signals:
    // The run was interrupted while this many updates were running.
    void Interrupted(int runningUpdates);
    // A unit waiting for its turn when the run was interrupted: nothing was written.
    void UnitNotStarted(const UnitOutcome& outcome);
    // The run ends before any unit was started (or, watching, started no more).
    void EndedUntouched(ExitCode code, const QString& reason, const QString& advice);
    // The unit's row is not in the report; the run cannot end as done.
    void ReportRowLost(const UnitOutcome& outcome, const QString& error);
    void Finished(ExitCode code, const QList<UnitOutcome>& outcomes);

private:
    struct Job;

    bool openReport();
    void poll();
    void gather(const QList<FoundUnit>& units);
    void watchFor(const QList<FoundUnit>& units);
    void startUnit(const FoundUnit& unit);
    void startNextQueued();
    bool oneAtATime() const;
    bool pathsTellUnitsApart(const QList<FoundUnit>& units) const;
    void onUnitEnded(const UnitOutcome& outcome);
    void recordInReport(const UnitOutcome& outcome);
    void endNotStarted(const FoundUnit& unit);
    void finishWhenIdle();
    void finish(ExitCode code);
    void giveUp(const QList<FoundUnit>& units);
    void refuseUnnamedUnits();
    void endUntouched(ExitCode code, const QString& reason, const QString& advice);
    ExitCode overallCode() const;
    bool waitIsOver() const;
    bool interruptPending();

    const UpdaterConfig& config;
    SessionLog& log;
    Settings settings;
    QString image_sha256; // of settings.image, worked out once
    AttemptFactory make_attempt;
    UnitFinder finder;
    std::optional<ProductionReport> report;
    QTimer poll_timer;
    QElapsedTimer wait_clock;
    std::map<QString, std::unique_ptr<Job>> running;
    std::vector<std::unique_ptr<Job>> ended; // deleted once control is back in the event loop
    QList<FoundUnit> queued;                 // DFU units waiting for their turn
    QList<UnitOutcome> outcomes;
    QSet<QString> updated_serials; // units known by serial number, done in this run
    QSet<QString> still_present;   // ports whose attempt ended while the unit stayed
    bool started = false;
    bool interrupted = false;
    bool finished = false;
    bool report_failed = false;
};
