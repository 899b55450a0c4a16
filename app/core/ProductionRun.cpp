#include "ProductionRun.h"

#include "HistoryRecorder.h"
#include "HistoryService.h"
#include "ImageCheck.h"
#include "OutcomeRanking.h"
#include "SessionRecorder.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QDir>
#include <algorithm>
#include <utility>

struct ProductionRun::Job {
    std::unique_ptr<UpdateSession> session;
    std::unique_ptr<SessionRecorder> recorder;
    std::unique_ptr<HistoryRecorder> history;
    std::unique_ptr<UnitAttempt> attempt;
};

ProductionRun::ProductionRun(const UpdaterConfig& updaterConfig, SessionLog& sessionLog, const Settings& runSettings,
                             AttemptFactory attemptFactory, QObject* parent)
    : QObject(parent),
      config(updaterConfig),
      log(sessionLog),
      settings(runSettings),
      image_sha256(runSettings.image.sha256Hex()),
      make_attempt(std::move(attemptFactory)),
      finder(updaterConfig.startup.interfaceType, updaterConfig.dfuUtilPath, updaterConfig.products)
{
    poll_timer.setInterval(UpdateSession::kSearchIntervalMs);
    connect(&poll_timer, &QTimer::timeout, this, &ProductionRun::poll);
}

ProductionRun::~ProductionRun() = default;

void ProductionRun::start()
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
bool ProductionRun::openReport()
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

void ProductionRun::interrupt()
{
    if (interrupted || finished)
        return;
    interrupted = true;
    poll_timer.stop();
    emit Interrupted(static_cast<int>(running.size()));
    for (const FoundUnit& unit : std::as_const(queued))
        endNotStarted(unit);
    queued.clear();
    finishWhenIdle();
}

bool ProductionRun::waitIsOver() const
{
    return wait_clock.elapsed() >= qint64{settings.waitSeconds} * 1000;
}

// Ctrl-C may have come since the last look; it is honoured before anything starts.
bool ProductionRun::interruptPending()
{
    if (!interrupted && settings.interruptCheck && settings.interruptCheck())
        interrupt();
    return interrupted;
}

void ProductionRun::poll()
{
    if (finished || interruptPending())
        return;
    const QList<FoundUnit> units = finder.find();
    if (settings.watch)
        watchFor(units);
    else
        gather(units);
}

// Without watching: start every unit present once there are enough of them.
void ProductionRun::gather(const QList<FoundUnit>& units)
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

// dfu-util-static serves one unit per run, so DFU units take turns.
bool ProductionRun::oneAtATime() const
{
    return config.startup.interfaceType == InterfaceType::Usb;
}

// Several DFU units can only be told apart by their USB paths: a listing
// without them, or with one path twice, cannot name each unit to the tool.
bool ProductionRun::pathsTellUnitsApart(const QList<FoundUnit>& units) const
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

void ProductionRun::startNextQueued()
{
    if (!queued.isEmpty() && running.empty() && !interruptPending())
        startUnit(queued.takeFirst());
}

// Watching: a port that turns up is a unit to update; one whose attempt has
// ended is left alone until it goes away.
void ProductionRun::watchFor(const QList<FoundUnit>& units)
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

void ProductionRun::startUnit(const FoundUnit& unit)
{
    auto job = std::make_unique<Job>();
    job->session = std::make_unique<UpdateSession>(config.startup.interfaceType, config.dfuUtilPath,
                                                   createUpdater(config.startup, config.dfuUtilPath).release());
    // The back-end's own messages name their unit in the session log.
    job->session->setLogTag(unit.port);
    job->session->setReadsIdentity(true);
    job->session->setImage(settings.image);
    job->session->setImageCheck(ImageCheck::forSession(config.startup));
    job->recorder = std::make_unique<SessionRecorder>(log, *job->session);
    if (settings.history) {
        job->history = std::make_unique<HistoryRecorder>(
            *settings.history, *job->session,
            HistoryRecorder::Settings{settings.frontEnd, SessionRecorder::interfaceName(config.startup.interfaceType),
                                      settings.imageVersion});
    }
    job->attempt = make_attempt(*job->session, unit,
                                [this](const UnitIdentity& identity, QObject* context,
                                       const UnitAttempt::SkipAnswer& answer) { decideSkip(identity, context, answer); });
    connect(job->attempt.get(), &UnitAttempt::Ended, this, &ProductionRun::onUnitEnded);
    UnitFinder unitFinder = finder;
    unitFinder.restrictToPort(unit.port);
    UnitAttempt& attempt = *job->attempt;
    running[unit.port] = std::move(job);
    attempt.start(unitFinder, config.deviceIds);
}

void ProductionRun::decideSkip(const UnitIdentity& identity, QObject* context,
                               const UnitAttempt::SkipAnswer& answer) const
{
    if (identity.serialNumber.isEmpty()) {
        answer(QString());
        return;
    }
    if (updated_serials.contains(identity.serialNumber)) {
        answer(QStringLiteral("already updated in this run"));
        return;
    }
    if (!settings.history || settings.force) {
        answer(QString());
        return;
    }
    // The history is shared by every station of a line: a unit done there
    // with this image is not written again.
    settings.history->findDone(identity.serialNumber, image_sha256, context,
                               [answer](const std::optional<AttemptRecord>& done) {
                                   answer(done ? QStringLiteral("already updated at %1 on %2")
                                                     .arg(done->station,
                                                          done->endedUtc.toString(QStringLiteral("yyyy-MM-dd")))
                                               : QString());
                               });
}

// A unit that was still waiting for its turn: nothing was written to it, and
// the run must not end as if every unit were done.
void ProductionRun::endNotStarted(const FoundUnit& unit)
{
    UnitOutcome outcome;
    outcome.unit = unit;
    outcome.code = ExitCode::NoUnit;
    outcome.notStarted = true;
    outcome.reason = QStringLiteral("interrupted before its turn");
    outcome.advice = QStringLiteral("%1 was not updated; run the update again for it.").arg(unit.port);
    emit UnitNotStarted(outcome);
    outcomes.append(outcome);
}

void ProductionRun::onUnitEnded(const UnitOutcome& outcome)
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
void ProductionRun::recordInReport(const UnitOutcome& outcome)
{
    QString error;
    if (!report || report->append(outcome, error))
        return;
    report_failed = true;
    emit ReportRowLost(outcome, error);
}

void ProductionRun::finishWhenIdle()
{
    if (finished || !running.empty() || !queued.isEmpty())
        return;
    if (interrupted || (!settings.watch && started))
        finish(overallCode());
}

ExitCode ProductionRun::overallCode() const
{
    const ExitCode worst = OutcomeRanking::worstOf(outcomes);
    return report_failed ? OutcomeRanking::worse(worst, ExitCode::UsageOrInput) : worst;
}

void ProductionRun::giveUp(const QList<FoundUnit>& units)
{
    const QString reason =
        settings.count > 0 ? QStringLiteral("%1 of %2 units found").arg(units.size()).arg(settings.count)
                           : QStringLiteral("no unit found");
    endUntouched(ExitCode::NoUnit, reason,
                 QStringLiteral("%1; nothing was written. Plug the units in, put them into their boot mode and try "
                                "again, or give them time with --wait.")
                     .arg(reason.left(1).toUpper() + reason.mid(1)));
}

void ProductionRun::refuseUnnamedUnits()
{
    endUntouched(ExitCode::SeveralUnits, QStringLiteral("DFU units without distinct USB paths"),
                 QStringLiteral("Several DFU units are listed, but dfu-util-static does not give each its own USB "
                                "path, so none of them can be named to it on its own. Nothing was written; connect "
                                "one DFU unit at a time, or use a dfu-util-static that lists paths."));
}

void ProductionRun::endUntouched(ExitCode code, const QString& reason, const QString& advice)
{
    emit EndedUntouched(code, reason, advice);
    // Units that ended before (when watching) still count.
    finish(outcomes.isEmpty() ? code : OutcomeRanking::worse(code, overallCode()));
}

void ProductionRun::finish(ExitCode code)
{
    if (finished)
        return;
    finished = true;
    poll_timer.stop();
    emit Finished(code, outcomes);
}
