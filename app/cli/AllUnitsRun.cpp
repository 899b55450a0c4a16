#include "AllUnitsRun.h"

#include "ImageCheck.h"
#include "HistoryRecorder.h"
#include "HistoryService.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "UpdateRun.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QDir>
#include <QJsonObject>
#include <algorithm>
#include <utility>

namespace {

// Worst first. A failed write can leave a unit unusable; a report or input
// that cannot be used leaves the run without its record; units that cannot be
// told apart, a refused model and a missing unit each leave units unwritten.
// Every outcome but done ranks above done, so no failure ends as 0.
int severity(ExitCode code)
{
    switch (code) {
    case ExitCode::UpdateFailed: return 5;
    case ExitCode::UsageOrInput: return 4;
    case ExitCode::SeveralUnits: return 3;
    case ExitCode::ModelRefused: return 2;
    case ExitCode::NoUnit: return 1;
    case ExitCode::Done: break;
    }
    return 0;
}

ExitCode worse(ExitCode a, ExitCode b)
{
    return severity(b) > severity(a) ? b : a;
}

} // namespace

struct AllUnitsRun::Job {
    std::unique_ptr<UpdateSession> session;
    std::unique_ptr<SessionRecorder> recorder;
    std::unique_ptr<HistoryRecorder> history;
    std::unique_ptr<UpdateRun> run;
};

AllUnitsRun::AllUnitsRun(const Console& out, const CliConfig& cliConfig, SessionLog& sessionLog,
                         const Settings& runSettings, QObject* parent)
    : QObject(parent),
      console(out),
      config(cliConfig),
      log(sessionLog),
      settings(runSettings),
      image_sha256(runSettings.image.sha256Hex()),
      finder(cliConfig.startup.interfaceType, cliConfig.dfuUtilPath, cliConfig.products),
      board(out)
{
    poll_timer.setInterval(UpdateSession::kSearchIntervalMs);
    connect(&poll_timer, &QTimer::timeout, this, &AllUnitsRun::poll);
}

AllUnitsRun::~AllUnitsRun() = default;

void AllUnitsRun::start()
{
    // From the event loop: an outcome decided at once must not end the run
    // before the loop that it ends has started.
    QTimer::singleShot(0, this, [this] {
        if (finished || !openReport())
            return;
        wait_clock.start();
        poll_timer.start();
        poll();
    });
}

// The record must be writable before any unit is touched: a run that could
// not record its units writes none of them.
bool AllUnitsRun::openReport()
{
    if (settings.reportPath.isEmpty())
        return true;
    report.emplace(settings.reportPath, settings.image.fileName(), image_sha256, settings.imageVersion);
    QString error;
    if (report->open(error))
        return true;
    endUntouched(ExitCode::UsageOrInput, QStringLiteral("cannot write the report"),
                 QStringLiteral("Cannot write the report %1 (%2). Nothing was written to any unit; give a report "
                                "file in a folder that exists and can be written, on a disk with room.")
                     .arg(QDir::toNativeSeparators(settings.reportPath), error));
    return false;
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

// Ctrl-C may have come since the last look; it is honoured before anything starts.
bool AllUnitsRun::interruptPending()
{
    if (!interrupted && interrupt_check && interrupt_check())
        interrupt();
    return interrupted;
}

void AllUnitsRun::poll()
{
    if (finished || interruptPending())
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
    if (!queued.isEmpty() && running.empty() && !interruptPending())
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
    if (oneAtATime() && !running.empty())
        return;
    if (!pathsTellUnitsApart(units)) {
        refuseUnnamedUnits();
        return;
    }
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
    job->session->setImageCheck(ImageCheck::forSession(config.startup));
    job->recorder = std::make_unique<SessionRecorder>(log, *job->session);
    if (settings.history) {
        job->history = std::make_unique<HistoryRecorder>(
            *settings.history, *job->session,
            HistoryRecorder::Settings{QStringLiteral("cli"),
                                      SessionRecorder::interfaceName(config.startup.interfaceType),
                                      settings.imageVersion});
    }
    UpdateRun::Settings runSettings;
    runSettings.onlyPort = unit.port;
    runSettings.serviceMode = config.startup.fwTargetType == QLatin1String("service");
    runSettings.imageSize = settings.image.bytes.size();
    runSettings.imageVersion = settings.imageVersion;
    runSettings.logPath = settings.logPath;
    runSettings.alreadyUpdated = [this](const QString& serial) { return updated_serials.contains(serial); };
    if (settings.history && !settings.force) {
        runSettings.askHistory = [this](const QString& serial, QObject* context,
                                        std::function<void(const QString&)> answer) {
            askHistory(serial, context, std::move(answer));
        };
    }
    job->run = std::make_unique<UpdateRun>(console, *job->session, runSettings);
    job->run->setBoard(&board);
    connect(job->run.get(), &UpdateRun::Ended, this, &AllUnitsRun::onUnitEnded);
    UnitFinder unitFinder = finder;
    unitFinder.restrictToPort(unit.port);
    UpdateRun& run = *job->run;
    running[unit.port] = std::move(job);
    run.start(unitFinder, config.deviceIds);
}

// The history is shared by every station of a line: a unit done there with
// this image is not written again.
void AllUnitsRun::askHistory(const QString& serialNumber, QObject* context,
                             std::function<void(const QString&)> answer) const
{
    settings.history->findDone(serialNumber, image_sha256, context,
                               [answer](const std::optional<AttemptRecord>& done) {
                                   answer(done ? QStringLiteral("already updated at %1 on %2")
                                                     .arg(done->station,
                                                          done->endedUtc.toString(QStringLiteral("yyyy-MM-dd")))
                                               : QString());
                               });
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
                              {QStringLiteral("version"), settings.imageVersion}});
    outcomes.append(outcome);
}

void AllUnitsRun::onUnitEnded(const UnitOutcome& outcome)
{
    outcomes.append(outcome);
    if (outcome.done() && !outcome.serialNumber.isEmpty())
        updated_serials.insert(outcome.serialNumber);
    recordInReport(outcome);
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

// A unit without its row is a unit the record does not know about: the run
// says so at once and cannot end as done.
void AllUnitsRun::recordInReport(const UnitOutcome& outcome)
{
    QString error;
    if (!report || report->append(outcome, error))
        return;
    report_failed = true;
    console.tell(QStringLiteral("Cannot write the row of %1 to the report %2 (%3); the run goes on and ends with "
                                "exit code %4.")
                     .arg(outcome.unit.port, QDir::toNativeSeparators(settings.reportPath), error)
                     .arg(static_cast<int>(ExitCode::UsageOrInput)));
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
    ExitCode worst = outcomes.isEmpty() ? ExitCode::NoUnit : ExitCode::Done;
    for (const UnitOutcome& outcome : outcomes)
        worst = worse(worst, outcome.code);
    return report_failed ? worse(worst, ExitCode::UsageOrInput) : worst;
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
                              {QStringLiteral("version"), settings.imageVersion}});
    console.tell(advice);
    // Units that ended before (with --watch) still count.
    finish(outcomes.isEmpty() ? code : worse(code, overallCode()));
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
