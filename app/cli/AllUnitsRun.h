#pragma once

#include "CliConfig.h"
#include "Console.h"
#include "ExitCode.h"
#include "FirmwareImage.h"
#include "FoundUnit.h"
#include "ProductionReport.h"
#include "UnitBoard.h"
#include "UnitFinder.h"
#include "UnitOutcome.h"

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

class HistoryRecorder;
class HistoryService;
class SessionLog;
class SessionRecorder;
class UpdateRun;
class UpdateSession;

// update --all: every candidate unit is updated at the same time, each with a
// back-end of its own on its own worker thread, exactly as the window runs
// one. One unit's fault never stops the others. With --watch every unit that
// appears later is updated once too, until the run is interrupted. DFU units
// go one after another, each named to the tool by its USB path.
class AllUnitsRun : public QObject {
    Q_OBJECT

public:
    struct Settings {
        int waitSeconds = 0;
        int count = 0; // 0: whatever is present
        bool watch = false;
        QString reportPath;
        FirmwareImage image; // read once: every unit gets these bytes
        QString imageVersion; // the package's version, empty for a plain image
        QString logPath;
        HistoryService* history = nullptr; // none with history=off
        bool force = false;                // update units the history has as done
    };

    AllUnitsRun(const Console& console, const CliConfig& config, SessionLog& log, const Settings& settings,
                QObject* parent = nullptr);
    ~AllUnitsRun() override;

    void start();
    // Ctrl-C: no unit is started any more; running updates end as they would.
    void interrupt();
    // Asked before a unit is started: true once Ctrl-C was pressed, so that no
    // unit starts between the key and interrupt().
    void setInterruptCheck(std::function<bool()> check) { interrupt_check = std::move(check); }

signals:
    void Finished(int exitCode);

private:
    struct Job;

    bool openReport();
    void recordInReport(const UnitOutcome& outcome);
    void poll();
    void gather(const QList<FoundUnit>& units);
    void watchFor(const QList<FoundUnit>& units);
    void startUnit(const FoundUnit& unit);
    void askHistory(const QString& serialNumber, QObject* context, std::function<void(const QString&)> answer) const;
    void startNextQueued();
    bool oneAtATime() const;
    bool pathsTellUnitsApart(const QList<FoundUnit>& units) const;
    void onUnitEnded(const UnitOutcome& outcome);
    void endNotStarted(const FoundUnit& unit);
    void finishWhenIdle();
    void finish(ExitCode code);
    void giveUp(const QList<FoundUnit>& units);
    void refuseUnnamedUnits();
    void endUntouched(ExitCode code, const QString& reason, const QString& advice);
    void printSummary() const;
    ExitCode overallCode() const;
    bool waitIsOver() const;
    bool interruptPending();

    const Console& console;
    const CliConfig& config;
    SessionLog& log;
    Settings settings;
    QString image_sha256; // of settings.image, worked out once
    UnitFinder finder;
    UnitBoard board;
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
    std::function<bool()> interrupt_check;
};
