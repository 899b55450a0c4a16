#include "HistoryRecorder.h"

#include "HistoryService.h"
#include "UpdateSession.h"


HistoryRecorder::HistoryRecorder(HistoryService& historyService, UpdateSession& updateSession,
                                 const Settings& recorderSettings, QObject* parent)
    : QObject(parent), history(historyService), session(updateSession), settings(recorderSettings)
{
    FirmwareUpdaterBase* backend = updateSession.backend();
    connect(&updateSession, &UpdateSession::UnitsChecked, this, &HistoryRecorder::onUnitsChecked);
    connect(&updateSession, &UpdateSession::UnitRequested, this, &HistoryRecorder::onUnitRequested);
    connect(&updateSession, &UpdateSession::UnitIdentified, this, &HistoryRecorder::onUnitIdentified);
    connect(&updateSession, &UpdateSession::ImageChosen, this, &HistoryRecorder::onImageChosen);
    connect(backend, &FirmwareUpdaterBase::FailureReason, this, &HistoryRecorder::onFailureReason);
    connect(backend, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &HistoryRecorder::onConnectionStatus);
    connect(backend, &FirmwareUpdaterBase::UpdateStarted, this, &HistoryRecorder::onUpdateStarted);
    connect(backend, &FirmwareUpdaterBase::UpdateFinished, this, &HistoryRecorder::onUpdateFinished);
}

void HistoryRecorder::onUnitsChecked(const QList<FoundUnit>& units)
{
    const bool stillThere =
        std::any_of(units.begin(), units.end(), [this](const FoundUnit& found) { return found.port == refused_port; });
    if (!stillThere)
        refused_port.clear();
}

void HistoryRecorder::onUnitRequested(const FoundUnit& requested)
{
    if (running)
        return;
    if (!unit || unit->port != requested.port)
        identity = UnitIdentity{};
    unit = requested;
}

void HistoryRecorder::onUnitIdentified(const UnitIdentity& read)
{
    identity = read;
}

AttemptRecord HistoryRecorder::newAttempt() const
{
    AttemptRecord record;
    record.uid = AttemptRecord::newUid();
    record.startedUtc = QDateTime::currentDateTimeUtc();
    record.station = history.station();
    record.frontEnd = settings.frontEnd;
    if (unit) {
        record.port = unit->port;
        record.vidPid = unit->idsText();
    }
    record.serialNumber = identity.serialNumber;
    record.modelId = identity.model;
    record.interfaceName = settings.interfaceName;
    record.imageName = image_name;
    record.imageSha256 = image_sha256;
    record.imageVersion = settings.imageVersion;
    return record;
}

void HistoryRecorder::onConnectionStatus(ConnectionStatus status)
{
    if (status == Connected)
        refused_port.clear();
    if (status != DeviceMismatch || running || !unit || refused_port == unit->port)
        return;
    // Nothing was written: the attempt starts and ends here.
    refused_port = unit->port;
    // A refused unit never starts, so no image was chosen for it; the command
    // line's image, loaded once for the run, is the one it would have got.
    if (image_name.isEmpty() && session.loadedImage())
        takeImageOf(*session.loadedImage());
    AttemptRecord record = newAttempt();
    record.endedUtc = record.startedUtc;
    record.outcome = QStringLiteral("refused");
    record.reason = QStringLiteral("model identifier refused");
    history.save(record);
}

// The bytes of the update being started, whichever way they were read.
void HistoryRecorder::onImageChosen(const FirmwareImage& image)
{
    takeImageOf(image);
    failure_reason.clear();
}

void HistoryRecorder::takeImageOf(const FirmwareImage& image)
{
    image_name = image.fileName();
    image_sha256 = image.bytes.isEmpty() ? QString() : image.sha256Hex();
}

void HistoryRecorder::onFailureReason(const QString& reason)
{
    failure_reason = reason;
}

void HistoryRecorder::onUpdateStarted()
{
    clock.start();
    running = newAttempt();
    history.save(*running);
}

void HistoryRecorder::onUpdateFinished(bool status)
{
    if (!running)
        return;
    AttemptRecord record = *running;
    running.reset();
    record.endedUtc = QDateTime::currentDateTimeUtc();
    record.seconds = clock.elapsed() / 1000.0;
    record.outcome = status ? QStringLiteral("done") : QStringLiteral("failed");
    record.reason = status ? QString()
                    : failure_reason.isEmpty() ? QStringLiteral("the update failed")
                                               : failure_reason;
    // The identity may have been read after the start (it never changes mid-update).
    record.serialNumber = identity.serialNumber;
    record.modelId = identity.model;
    history.save(record);
}
