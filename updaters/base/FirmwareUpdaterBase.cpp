#include "FirmwareUpdaterBase.h"

#include <QDebug>
#include <QFileInfo>

FirmwareUpdaterBase::FirmwareUpdaterBase(const QString& path, QObject* parent)
    : QObject(parent), firmwarePath(path)
{
    registerUpdaterMetaTypes();
}

void FirmwareUpdaterBase::runUpdate()
{
    emit UpdateStarted();
    const bool uploaded =
        !imageFileIsEmpty() && upload(firmwarePath, [this](int percent) { emit ProgressUpdate(percent); });
    const bool finished = uploaded && exitBootloaderChecked();
    emit UpdateFinished(finished);
}

void FirmwareUpdaterBase::connectAndReport(const QString& portName, const QList<uint8_t>& deviceIds,
                                           bool verify)
{
    ConnectionStatus status = Connected;
    if (!connectDevice(portName)) {
        status = Disconnected;
    } else if (verify && !verifyDeviceId(deviceIds)) {
        disconnectDevice();
        status = DeviceMismatch;
    }
    emit UpdateConnectionStatus(status);
}

void FirmwareUpdaterBase::disconnectAndReport()
{
    disconnectDevice();
    emit UpdateConnectionStatus(Disconnected);
}

bool FirmwareUpdaterBase::imageFileIsEmpty() const
{
    const QFileInfo image(firmwarePath);
    if (!image.isFile() || image.size() != 0)
        return false;
    qWarning() << "firmware image" << firmwarePath << "is empty: nothing was written";
    return true;
}

bool FirmwareUpdaterBase::exitBootloaderChecked()
{
    exitBootloader();
    return true;
}
