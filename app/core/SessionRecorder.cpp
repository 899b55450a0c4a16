#include "SessionRecorder.h"

#include "ImageInfo.h"
#include "SessionLog.h"
#include "UpdateSession.h"

#include <QCoreApplication>
#include <QDir>

QString SessionRecorder::interfaceName(InterfaceType type)
{
    switch (type) {
    case InterfaceType::McubootSerial:
        return QStringLiteral("mcuboot_serial");
    case InterfaceType::Usb:
        return QStringLiteral("usb");
    case InterfaceType::Uart:
        break;
    }
    return QStringLiteral("uart (STM32 bootloader)");
}

namespace {

QString listText(const QList<uint8_t>& ids)
{
    QStringList parts;
    for (uint8_t id : ids)
        parts << QString::number(id);
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral(", "));
}

} // namespace

SessionRecorder::SessionRecorder(SessionLog& sessionLog, UpdateSession& updateSession, QObject* parent)
    : QObject(parent), log(sessionLog), session(updateSession)
{
    FirmwareUpdaterBase* backend = updateSession.backend();
    connect(&updateSession, &UpdateSession::UnitsChecked, this, &SessionRecorder::onUnitsChecked);
    connect(&updateSession, &UpdateSession::UnitRequested, this, &SessionRecorder::onUnitRequested);
    connect(&updateSession, &UpdateSession::UnitIdentified, this, &SessionRecorder::onUnitIdentified);
    connect(&updateSession, &UpdateSession::ImageChosen, this, &SessionRecorder::onImageChosen);
    connect(backend, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &SessionRecorder::onConnectionStatus);
    connect(backend, &FirmwareUpdaterBase::UpdateStarted, this, &SessionRecorder::onUpdateStarted);
    connect(backend, &FirmwareUpdaterBase::UpdateFinished, this, &SessionRecorder::onUpdateFinished);
    connect(backend, &FirmwareUpdaterBase::Verified, this, &SessionRecorder::onVerified);
}

void SessionRecorder::recordStart(SessionLog& log, const QString& frontEnd, const QString& configPath,
                                  const StartupConfig& config, const ImageInfo& image)
{
    log.info(QStringLiteral("%1 %2 started").arg(frontEnd, QCoreApplication::applicationVersion()));
    log.info(QStringLiteral("configuration: %1").arg(QDir::toNativeSeparators(configPath)));
    log.info(QStringLiteral("interface: %1").arg(interfaceName(config.interfaceType)));
    log.info(QStringLiteral("target type: \"%1\"").arg(config.fwTargetType));
    log.info(QStringLiteral("verify after write: %1").arg(config.verifyAfterWrite ? QStringLiteral("on")
                                                                                  : QStringLiteral("off")));
    log.info(QStringLiteral("image: %1").arg(image.describe()));
}

void SessionRecorder::onUnitsChecked(const QList<FoundUnit>& units)
{
    for (const FoundUnit& unit : units) {
        const QString key = unit.port + QLatin1Char('=') + unit.idsText();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        log.info(QStringLiteral("unit seen: %1 %2 \"%3\"").arg(unit.port, unit.idsText(), unit.product));
    }
}

void SessionRecorder::onUnitRequested(const FoundUnit& unit)
{
    current_port = unit.port;
    log.info(QStringLiteral("connecting to %1 %2").arg(unit.port, unit.idsText()));
}

void SessionRecorder::onConnectionStatus(ConnectionStatus status)
{
    switch (status) {
    case Connected:
        log.info(QStringLiteral("unit %1: connected, model identifier accepted (one of %2)")
                     .arg(current_port, listText(session.deviceIds())));
        break;
    case Disconnected:
        log.info(QStringLiteral("unit %1: disconnected or not answering").arg(current_port));
        break;
    case DeviceMismatch:
        log.info(QStringLiteral("unit %1: model identifier refused (not one of %2)")
                     .arg(current_port, listText(session.deviceIds())));
        break;
    }
}

void SessionRecorder::onUnitIdentified(const UnitIdentity& identity)
{
    const QString model = identity.model ? QString::number(*identity.model) : QStringLiteral("(not read)");
    const QString serial = identity.serialNumber.isEmpty() ? QStringLiteral("(none)") : identity.serialNumber;
    log.info(QStringLiteral("unit %1: model identifier %2, serial number %3").arg(current_port, model, serial));
}

void SessionRecorder::onImageChosen(const FirmwareImage& image)
{
    log.info(QStringLiteral("image for the update of %1: %2").arg(current_port, ImageInfo::of(image).describe()));
}

void SessionRecorder::onUpdateStarted()
{
    update_clock.start();
    log.info(QStringLiteral("update of %1 started").arg(current_port));
}

void SessionRecorder::onUpdateFinished(bool status)
{
    const double seconds = update_clock.isValid() ? update_clock.elapsed() / 1000.0 : 0.0;
    log.info(QStringLiteral("update of %1 %2 after %3 s")
                 .arg(current_port, status ? QStringLiteral("done") : QStringLiteral("FAILED"))
                 .arg(seconds, 0, 'f', 1));
}

void SessionRecorder::onVerified(VerifyResult result, int milliseconds)
{
    QString outcome = QStringLiteral("the unit holds the image");
    if (result == VerifyFailed)
        outcome = QStringLiteral("FAILED, the unit does not hold the image");
    else if (result == VerifyUnknown)
        outcome = QStringLiteral("not verified, the unit gave nothing to compare with");
    log.info(QStringLiteral("verification of %1: %2, after %3 s")
                 .arg(current_port, outcome)
                 .arg(milliseconds / 1000.0, 0, 'f', 2));
}
