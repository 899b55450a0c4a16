#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "ProductionRun.h"
#include "UnitBoard.h"
#include "UnitOutcome.h"
#include "UpdaterConfig.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class SessionLog;

// update --all on the command line: draws the production run, each unit's
// update on its line of the board (or as JSON events), and ends with the
// table of units and what to do about each failure.
class AllUnitsRun : public QObject {
    Q_OBJECT

public:
    struct Settings {
        ProductionRun::Settings run;
        QString logPath;
    };

    AllUnitsRun(const Console& console, const UpdaterConfig& config, SessionLog& log, const Settings& settings,
                QObject* parent = nullptr);

    void start() { production.start(); }
    // Ctrl-C: no unit is started any more; running updates end as they would.
    void interrupt() { production.interrupt(); }

signals:
    void Finished(int exitCode);

private:
    std::unique_ptr<UnitAttempt> makeAttempt(UpdateSession& session, const FoundUnit& unit,
                                             const UnitAttempt::SkipRule& skip);
    void onInterrupted(int runningUpdates) const;
    void onUnitNotStarted(const UnitOutcome& outcome) const;
    void onEndedUntouched(ExitCode code, const QString& reason, const QString& advice) const;
    void onReportRowLost(const UnitOutcome& outcome, const QString& error) const;
    void onFinished(ExitCode code, const QList<UnitOutcome>& outcomes);
    void printSummary(const QList<UnitOutcome>& outcomes) const;

    const Console& console;
    const UpdaterConfig& config;
    Settings settings;
    UnitBoard board;
    ProductionRun production;
};
