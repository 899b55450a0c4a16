#include "UpdateRun.h"

#include "FoundEvent.h"
#include "TerminalText.h"
#include "UnitBoard.h"
#include "UnitFinder.h"
#include "UpdateSession.h"

#include <QDebug>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

UpdateRun::UpdateRun(const Console& out, UpdateSession& updateSession, const Settings& runSettings, QObject* parent)
    : UnitAttempt(parent), console(out), session(updateSession), settings(runSettings)
{
    connectToSession();
}

void UpdateRun::connectToSession()
{
    FirmwareUpdaterBase* backend = session.backend();
    connect(&session, &UpdateSession::UnitsChecked, this, &UpdateRun::onUnitsChecked);
    connect(&session, &UpdateSession::UnitRequested, this, &UpdateRun::onUnitRequested);
    connect(&session, &UpdateSession::UnitIdentified, this, &UpdateRun::onUnitIdentified);
    connect(backend, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &UpdateRun::onConnectionStatus);
    connect(backend, &FirmwareUpdaterBase::UpdateStarted, this, &UpdateRun::onUpdateStarted);
    connect(backend, &FirmwareUpdaterBase::UpdateFinished, this, &UpdateRun::onUpdateFinished);
    connect(backend, &FirmwareUpdaterBase::FailureReason, this, [this](const QString& reason) {
        failure_reason = reason;
    });
    connect(backend, &FirmwareUpdaterBase::Verified, this, [this](VerifyResult result) {
        if (result != VerifyUnknown)
            verified = result == VerifyPassed;
    });
    connect(backend, &FirmwareUpdaterBase::ProgressUpdate, this, [this](int percent) {
        if (display && updating)
            display->progress(percent);
    });
    connect(backend, &FirmwareUpdaterBase::EraseStarted, this, [this] {
        if (display)
            display->eraseStarted();
    });
    connect(backend, &FirmwareUpdaterBase::EraseFinished, this, [this] {
        if (display)
            display->eraseFinished();
    });
}

void UpdateRun::start(const UnitFinder& finder, const QList<uint8_t>& deviceIds)
{
    device_ids = deviceIds;
    search_clock.start();
    if (settings.waitSeconds > 0)
        QTimer::singleShot(settings.waitSeconds * 1000, this, &UpdateRun::onWaitOver);
    session.startSearching(finder, deviceIds, 0);
}

bool UpdateRun::waitIsOver() const
{
    return search_clock.elapsed() >= qint64{settings.waitSeconds} * 1000;
}

void UpdateRun::onUnitsChecked(const QList<FoundUnit>& units)
{
    if (finished || updating || session.isConnected())
        return;
    if (units.size() > 1)
        refuseSeveral(units);
    else if (units.isEmpty() && waitIsOver())
        giveUpSearching();
}

void UpdateRun::onUnitRequested(const FoundUnit& requested)
{
    if (finished || updating)
        return;
    const bool first = !unit;
    unit = requested;
    if (!first)
        return;
    QJsonObject found = foundEvent(*unit);
    found.insert(QStringLiteral("version"), settings.imageVersion);
    console.event(found);
    status(QStringLiteral("Found %1 (%2, %3); checking it...").arg(unit->port, unit->idsText(), unit->product));
}

void UpdateRun::onConnectionStatus(ConnectionStatus status)
{
    if (finished || updating || identifying || !unit)
        return;
    switch (status) {
    case Connected:
        unit_unanswered = false;
        identifying = session.readsIdentity();
        if (!identifying) {
            reportModel(true);
            startUpdate();
        }
        break;
    case DeviceMismatch:
        reportModel(false);
        finish(ExitCode::ModelRefused,
               QStringLiteral("model identifier refused"),
               QStringLiteral("The unit on %1 has a model identifier that device_id_list does not accept. Check "
                              "that this is the right unit for this configuration; nothing was written to it.")
                   .arg(unit->port));
        break;
    case Disconnected:
        unit_unanswered = true;
        if (waitIsOver())
            giveUpSearching();
        break;
    }
}

void UpdateRun::onUnitIdentified(const UnitIdentity& read)
{
    if (finished || !identifying)
        return;
    identifying = false;
    identity = read;
    startUnlessSkipped();
}

void UpdateRun::startUnlessSkipped()
{
    if (!settings.skipRule) {
        reportModel(true, identity.model);
        startUpdate();
        return;
    }
    settings.skipRule(identity, this, [this](const QString& skipReason) {
        if (finished)
            return;
        if (!skipReason.isEmpty()) {
            skip(skipReason);
            return;
        }
        reportModel(true, identity.model);
        startUpdate();
    });
}

// Nothing is written to a skipped unit, and a skip alone ends the run as done.
void UpdateRun::skip(const QString& reason)
{
    skipped = true;
    finish(ExitCode::Done, reason, QString());
}

void UpdateRun::startUpdate()
{
    updating = true;
    display.emplace(console, unit->port, settings.imageSize, board);
    session.startUpdate();
}

void UpdateRun::reportModel(bool accepted, std::optional<int> known)
{
    // Where the unit's identity cannot be read, the check alone tells the
    // identifier exactly when a single one is accepted.
    QJsonValue model = QJsonValue::Null;
    if (known)
        model = *known;
    else if (accepted && !settings.serviceMode && device_ids.size() == 1)
        model = int{device_ids.first()};
    if (!model.isNull())
        identity.model = model.toInt();
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("model")},
                              {QStringLiteral("port"), unit->port},
                              {QStringLiteral("model"), model},
                              {QStringLiteral("accepted"), accepted}});
    if (accepted)
        status(settings.serviceMode ? QStringLiteral("Service image: the model identifier is not checked.")
                                    : QStringLiteral("Model identifier accepted; writing the image..."));
}

void UpdateRun::onUpdateStarted()
{
    update_clock.start();
    if (display)
        display->started();
}

void UpdateRun::onUpdateFinished(bool status)
{
    if (finished || !updating)
        return;
    // The window shows 100 % on success whatever the back-end reported last.
    if (display && status)
        display->progress(100);
    if (display)
        display->finished();
    if (status)
        finish(ExitCode::Done, QString(), QString());
    else
        finish(ExitCode::UpdateFailed, failure_reason.isEmpty() ? QStringLiteral("the update failed") : failure_reason,
               QStringLiteral("The update of %1 failed. Put the unit back into its boot mode and run the update "
                              "again.")
                   .arg(unit->port));
}

void UpdateRun::onWaitOver()
{
    if (finished || updating || session.isConnected())
        return;
    // A connection request still on its way gets its answer first.
    if (!unit || unit_unanswered)
        giveUpSearching();
}

void UpdateRun::refuseSeveral(const QList<FoundUnit>& units)
{
    QStringList names;
    for (const FoundUnit& found : units)
        names << found.port;
    finish(ExitCode::SeveralUnits, QStringLiteral("more than one unit: %1").arg(names.join(QStringLiteral(", "))),
           QStringLiteral("More than one unit is connected: %1. Name the one to update with --port, or unplug "
                          "the others.")
               .arg(names.join(QStringLiteral(", "))));
}

void UpdateRun::giveUpSearching()
{
    if (unit && unit_unanswered) {
        finish(ExitCode::UpdateFailed, QStringLiteral("the unit does not answer"),
               QStringLiteral("The unit on %1 does not answer. Put it into its boot mode (reset it) and try "
                              "again, or give it time with --wait.")
                   .arg(unit->port));
        return;
    }
    const QString where = settings.onlyPort.isEmpty() ? QString() : QStringLiteral(" on %1").arg(settings.onlyPort);
    finish(ExitCode::NoUnit, QStringLiteral("no unit found%1").arg(where),
           QStringLiteral("No unit found%1. Plug the unit in, put it into its boot mode and try again, or give "
                          "it time with --wait; \"fwupdater-cli list\" shows what counts as a unit.")
               .arg(where));
}

void UpdateRun::finish(ExitCode code, const QString& reason, const QString& advice)
{
    if (finished)
        return;
    finished = true;
    const bool ok = code == ExitCode::Done;
    const double seconds = update_clock.isValid() ? update_clock.elapsed() / 1000.0 : 0.0;
    QJsonObject done{{QStringLiteral("event"), QStringLiteral("done")},
                     {QStringLiteral("port"), unit ? unit->port : QString()},
                     {QStringLiteral("ok"), ok},
                     {QStringLiteral("seconds"), qRound(seconds * 10) / 10.0},
                     {QStringLiteral("exit"), static_cast<int>(code)},
                     {QStringLiteral("version"), settings.imageVersion},
                     {QStringLiteral("verified"), verified ? QJsonValue(*verified) : QJsonValue()}};
    if (!ok || skipped)
        done.insert(QStringLiteral("reason"), reason);
    if (skipped)
        done.insert(QStringLiteral("skipped"), true);
    console.event(done);
    qInfo().noquote() << "fwupdater-cli: exit code" << static_cast<int>(code) << (ok ? QStringLiteral("done") : reason);
    if (skipped)
        status(QStringLiteral("skipped: %1 (serial number %2)").arg(reason, terminalText(identity.serialNumber)));
    else if (ok)
        status(QStringLiteral("Done: %1 updated in %2 s.").arg(unit->port).arg(seconds, 0, 'f', 1));
    else if (board)
        status(QStringLiteral("Failed: %1").arg(reason));
    final_advice = advice;
    if (!ok && !board)
        console.tell(advice + logHint());
    emit Ended(UnitOutcome{unit.value_or(FoundUnit{settings.onlyPort, {}, {}}), identity.serialNumber, identity.model,
                           code, ok && !skipped ? QString() : reason, seconds, advice, skipped, false, verified});
    emit Finished(static_cast<int>(code));
}

// A unit's own line on the board when there is one, a plain line otherwise.
void UpdateRun::status(const QString& text) const
{
    if (board)
        board->show(unit ? unit->port : settings.onlyPort, text);
    else
        console.line(text);
}

QString UpdateRun::logHint() const
{
    return settings.logPath.isEmpty()
               ? QString()
               : QStringLiteral("\nDetails are in the session log %1").arg(QDir::toNativeSeparators(settings.logPath));
}
