#include "AllUnitsRun.h"

#include "UpdateRun.h"

#include <QDir>
#include <QJsonObject>

AllUnitsRun::AllUnitsRun(const Console& out, const UpdaterConfig& updaterConfig, SessionLog& log,
                         const Settings& runSettings, QObject* parent)
    : QObject(parent),
      console(out),
      config(updaterConfig),
      settings(runSettings),
      board(out),
      production(updaterConfig, log, runSettings.run,
                 [this](UpdateSession& session, const FoundUnit& unit, const UnitAttempt::SkipRule& skip) {
                     return makeAttempt(session, unit, skip);
                 })
{
    connect(&production, &ProductionRun::Interrupted, this, &AllUnitsRun::onInterrupted);
    connect(&production, &ProductionRun::UnitNotStarted, this, &AllUnitsRun::onUnitNotStarted);
    connect(&production, &ProductionRun::EndedUntouched, this, &AllUnitsRun::onEndedUntouched);
    connect(&production, &ProductionRun::ReportRowLost, this, &AllUnitsRun::onReportRowLost);
    connect(&production, &ProductionRun::Finished, this, &AllUnitsRun::onFinished);
}

// Each unit's attempt is the update command's flow on that unit's line of the board.
std::unique_ptr<UnitAttempt> AllUnitsRun::makeAttempt(UpdateSession& session, const FoundUnit& unit,
                                                      const UnitAttempt::SkipRule& skip)
{
    UpdateRun::Settings runSettings;
    runSettings.onlyPort = unit.port;
    runSettings.serviceMode = config.isServiceImage();
    runSettings.imageSize = settings.run.image.bytes.size();
    runSettings.logPath = settings.logPath;
    runSettings.imageVersion = settings.run.imageVersion;
    runSettings.skipRule = skip;
    auto attempt = std::make_unique<UpdateRun>(console, session, runSettings);
    attempt->setBoard(&board);
    return attempt;
}

void AllUnitsRun::onInterrupted(int runningUpdates) const
{
    console.tell(runningUpdates == 0
                     ? QStringLiteral("Interrupted.")
                     : QStringLiteral("Interrupted: letting %1 running update(s) finish; press Ctrl-C again to stop "
                                      "at once (that can leave a unit unusable).")
                           .arg(runningUpdates));
}

void AllUnitsRun::onUnitNotStarted(const UnitOutcome& outcome) const
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("done")},
                              {QStringLiteral("port"), outcome.unit.port},
                              {QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), outcome.reason},
                              {QStringLiteral("exit"), static_cast<int>(outcome.code)},
                              {QStringLiteral("version"), settings.run.imageVersion},
                              {QStringLiteral("verified"), QJsonValue()}});
}

// The run ends before any unit was started: one done event for the whole run.
void AllUnitsRun::onEndedUntouched(ExitCode code, const QString& reason, const QString& advice) const
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("done")},
                              {QStringLiteral("port"), QString()},
                              {QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), reason},
                              {QStringLiteral("exit"), static_cast<int>(code)},
                              {QStringLiteral("version"), settings.run.imageVersion},
                              {QStringLiteral("verified"), QJsonValue()}});
    console.tell(advice);
}

void AllUnitsRun::onReportRowLost(const UnitOutcome& outcome, const QString& error) const
{
    console.tell(QStringLiteral("Cannot write the row of %1 to the report %2 (%3); the run goes on and ends with "
                                "exit code %4.")
                     .arg(outcome.unit.port, QDir::toNativeSeparators(settings.run.reportPath), error)
                     .arg(static_cast<int>(ExitCode::UsageOrInput)));
}

void AllUnitsRun::onFinished(ExitCode code, const QList<UnitOutcome>& outcomes)
{
    if (!outcomes.isEmpty())
        printSummary(outcomes);
    emit Finished(static_cast<int>(code));
}

// The table goes where a person reads it: standard output, or standard error with --json.
void AllUnitsRun::printSummary(const QList<UnitOutcome>& outcomes) const
{
    QStringList lines{QStringLiteral("%1  %2  %3  %4")
                          .arg(QStringLiteral("port"), -24)
                          .arg(QStringLiteral("outcome"), -10)
                          .arg(QStringLiteral("seconds"), 7)
                          .arg(QStringLiteral("reason"))};
    for (const UnitOutcome& outcome : outcomes) {
        lines << QStringLiteral("%1  %2  %3  %4")
                     .arg(outcome.unit.port, -24)
                     .arg(outcome.outcomeText(), -10)
                     .arg(outcome.seconds, 7, 'f', 1)
                     .arg(outcome.reason);
    }
    const QString table = lines.join(QLatin1Char('\n'));
    if (console.isJson())
        console.tell(table);
    else
        console.line(table);
    for (const UnitOutcome& outcome : outcomes) {
        if (!outcome.advice.isEmpty())
            console.tell(outcome.advice);
    }
}
