#include "AllUnitsRun.h"

#include "SessionLog.h"
#include "SessionRecorder.h"
#include "UpdateRun.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QJsonObject>
#include <algorithm>
#include <utility>

namespace {

// Worst first: a failed update outweighs a refused model, which outweighs a missing unit.
int severity(ExitCode code)
{
    switch (code) {
    case ExitCode::UpdateFailed: return 3;
    case ExitCode::ModelRefused: return 2;
    case ExitCode::NoUnit: return 1;
    default: return 0;
    }
}

} // namespace

struct AllUnitsRun::Job {
    std::unique_ptr<UpdateSession> session;
    std::unique_ptr<SessionRecorder> recorder;
    std::unique_ptr<UpdateRun> run;
};

AllUnitsRun::AllUnitsRun(const Console& out, const CliConfig& cliConfig, SessionLog& sessionLog,
                         const Settings& runSettings, QObject* parent)
    : QObject(parent),
      console(out),
      config(cliConfig),
      log(sessionLog),
      settings(runSettings),
      finder(cliConfig.startup.interfaceType, cliConfig.dfuUtilPath, cliConfig.products),
      board(out)
{
    if (!settings.reportPath.isEmpty())
        report.emplace(settings.reportPath, settings.image.fileName(), settings.image.sha256Hex());
    poll_timer.setInterval(UpdateSession::kSearchIntervalMs);
    connect(&poll_timer, &QTimer::timeout, this, &AllUnitsRun::poll);
}

AllUnitsRun::~AllUnitsRun() = default;

void AllUnitsRun::start()
{
    wait_clock.start();
    poll_timer.start();
    // From the event loop: an outcome decided at once must not end the run
    // before the loop that it ends has started.
    QTimer::singleShot(0, this, &AllUnitsRun::poll);
}

void AllUnitsRun::interrupt()
{
    if (interrupted || finished)
        return;
    interrupted = true;
    poll_timer.stop();
    console.tell(running.empty() ? QStringLiteral("Interrupted.")
                                 : QStringLiteral("Interrupted: letting %1 running update(s) finish; press Ctrl-C "
                                                  "again to stop at once (that can leave a unit unusable).")
                                       .arg(running.size()));
    for (const FoundUnit& unit : std::as_const(queued))
        endNotStarted(unit);
    queued.clear();
    finishWhenIdle();
}

bool AllUnitsRun::waitIsOver() const
{
    return wait_clock.elapsed() >= qint64{settings.waitSeconds} * 1000;
}

void AllUnitsRun::poll()
{
    if (finished || interrupted)
        return;
    const QList<FoundUnit> units = finder.find();
    if (settings.watch)
        watchFor(units);
    else
        gather(units);
}

// Without --watch: start every unit present once there are enough of them.
void AllUnitsRun::gather(const QList<FoundUnit>& units)
{
    const int wanted = std::max(settings.count, 1);
    if (units.size() < wanted) {
        if (waitIsOver())
            giveUp(units);
        return;
    }
    if (!pathsTellUnitsApart(units)) {
        refuseUnnamedUnits();
        return;
    }
    poll_timer.stop();
    started = true;
    if (oneAtATime()) {
        queued = units;
        startNextQueued();
        return;
    }
    for (const FoundUnit& unit : units)
        startUnit(unit);
}

// dfu-util-static serves one unit per run and the OTP read goes through one
// file, so DFU units take turns.
bool AllUnitsRun::oneAtATime() const
{
    return config.startup.interfaceType == InterfaceType::Usb;
}

// Several DFU units can only be told apart by their USB paths: a listing
// without them, or with one path twice, cannot name each unit to the tool.
bool AllUnitsRun::pathsTellUnitsApart(const QList<FoundUnit>& units) const
{
    if (!oneAtATime() || units.size() < 2)
        return true;
    QSet<QString> paths;
    for (const FoundUnit& unit : units) {
        if (unit.port.isEmpty() || paths.contains(unit.port))
            return false;
        paths.insert(unit.port);
    }
    return true;
}

void AllUnitsRun::startNextQueued()
{
    if (!queued.isEmpty() && running.empty() && !interrupted)
        startUnit(queued.takeFirst());
}

// With --watch: a port that turns up is a unit to update; one whose attempt
// has ended is left alone until it goes away.
void AllUnitsRun::watchFor(const QList<FoundUnit>& units)
{
    QSet<QString> present;
    for (const FoundUnit& unit : units)
        present.insert(unit.port);
    still_present.intersect(present);
    for (const FoundUnit& unit : units) {
        if (oneAtATime() && !running.empty())
            return;
        if (!running.count(unit.port) && !still_present.contains(unit.port))
            startUnit(unit);
    }
}

void AllUnitsRun::startUnit(const FoundUnit& unit)
{
    auto job = std::make_unique<Job>();
    job->session = std::make_unique<UpdateSession>(config.startup.interfaceType, config.dfuUtilPath,
                                                   createUpdater(config.startup, config.dfuUtilPath).release());
    job->session->setReadsIdentity(true);
    job->session->setImage(settings.image);
    job->recorder = std::make_unique<SessionRecorder>(log, *job->session);
    UpdateRun::Settings runSettings;
    runSettings.onlyPort = unit.port;
    runSettings.serviceMode = config.startup.fwTargetType == QLatin1String("service");
    runSettings.imageSize = settings.image.bytes.size();
    runSettings.logPath = settings.logPath;
    runSettings.alreadyUpdated = [this](const QString& serial) { return updated_serials.contains(serial); };
    job->run = std::make_unique<UpdateRun>(console, *job->session, runSettings);
    job->run->setBoard(&board);
    connect(job->run.get(), &UpdateRun::Ended, this, &AllUnitsRun::onUnitEnded);
    UnitFinder unitFinder = finder;
    unitFinder.restrictToPort(unit.port);
    UpdateRun& run = *job->run;
    running[unit.port] = std::move(job);
    run.start(unitFinder, config.deviceIds);
}

// A unit that was still waiting for its turn: nothing was written to it, and
// the run must not end as if every unit were done.
void AllUnitsRun::endNotStarted(const FoundUnit& unit)
{
    UnitOutcome outcome;
    outcome.unit = unit;
    outcome.code = ExitCode::NoUnit;
    outcome.notStarted = true;
    outcome.reason = QStringLiteral("interrupted before its turn");
    outcome.advice = QStringLiteral("%1 was not updated; run the update again for it.").arg(unit.port);
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("done")},
                              {QStringLiteral("port"), unit.port},
                              {QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), outcome.reason},
                              {QStringLiteral("exit"), static_cast<int>(outcome.code)},
                              {QStringLiteral("verified"), QJsonValue()}});
    outcomes.append(outcome);
}

void AllUnitsRun::onUnitEnded(const UnitOutcome& outcome)
{
    outcomes.append(outcome);
    if (outcome.done() && !outcome.serialNumber.isEmpty())
        updated_serials.insert(outcome.serialNumber);
    if (report && !report->append(outcome) && !report_failed) {
        report_failed = true;
        console.tell(QStringLiteral("Cannot write the report %1; the updates go on without it.")
                         .arg(settings.reportPath));
    }
    const auto job = running.find(outcome.unit.port);
    if (job != running.end()) {
        // Its session sent the signal that got us here: delete it later.
        ended.push_back(std::move(job->second));
        running.erase(job);
        still_present.insert(outcome.unit.port);
    }
    QTimer::singleShot(0, this, [this] {
        ended.clear();
        startNextQueued();
        finishWhenIdle();
    });
}

void AllUnitsRun::finishWhenIdle()
{
    if (finished || !running.empty() || !queued.isEmpty())
        return;
    if (interrupted || (!settings.watch && started))
        finish(overallCode());
}

ExitCode AllUnitsRun::overallCode() const
{
    if (outcomes.isEmpty())
        return ExitCode::NoUnit;
    ExitCode worst = ExitCode::Done;
    for (const UnitOutcome& outcome : outcomes) {
        if (severity(outcome.code) > severity(worst))
            worst = outcome.code;
    }
    return worst;
}

void AllUnitsRun::giveUp(const QList<FoundUnit>& units)
{
    const QString reason =
        settings.count > 0 ? QStringLiteral("%1 of %2 units found").arg(units.size()).arg(settings.count)
                           : QStringLiteral("no unit found");
    endUntouched(ExitCode::NoUnit, reason,
                 QStringLiteral("%1; nothing was written. Plug the units in, put them into their boot mode and try "
                                "again, or give them time with --wait.")
                     .arg(reason.left(1).toUpper() + reason.mid(1)));
}

void AllUnitsRun::refuseUnnamedUnits()
{
    endUntouched(ExitCode::SeveralUnits, QStringLiteral("DFU units without distinct USB paths"),
                 QStringLiteral("Several DFU units are listed, but dfu-util-static does not give each its own USB "
                                "path, so none of them can be named to it on its own. Nothing was written; connect "
                                "one DFU unit at a time, or use a dfu-util-static that lists paths."));
}

// The run ends before any unit was started: one done event for the whole run.
void AllUnitsRun::endUntouched(ExitCode code, const QString& reason, const QString& advice)
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("done")},
                              {QStringLiteral("port"), QString()},
                              {QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), reason},
                              {QStringLiteral("exit"), static_cast<int>(code)},
                              {QStringLiteral("verified"), QJsonValue()}});
    console.tell(advice);
    finish(code);
}

void AllUnitsRun::finish(ExitCode code)
{
    if (finished)
        return;
    finished = true;
    poll_timer.stop();
    if (!outcomes.isEmpty())
        printSummary();
    emit Finished(static_cast<int>(code));
}

// The table goes where a person reads it: standard output, or standard error with --json.
void AllUnitsRun::printSummary() const
{
    QStringList lines{QStringLiteral("%1  %2  %3  %4").arg(QStringLiteral("port"), -24)
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
