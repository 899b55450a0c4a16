#include "FirmwareUpdaterBase.h"

#include <QDebug>
#include <utility>

FirmwareUpdaterBase::FirmwareUpdaterBase(const QString& path, QObject* parent)
    : QObject(parent), firmwarePath(path)
{
    registerUpdaterMetaTypes();
}

void FirmwareUpdaterBase::setImage(const FirmwareImage& image, const QString& refusal)
{
    std::lock_guard lock(image_mutex);
    handed_image = image;
    handed_refusal = refusal;
}

bool FirmwareUpdaterBase::hasImage() const
{
    std::lock_guard lock(image_mutex);
    return handed_image.has_value() || !handed_refusal.isEmpty();
}

void FirmwareUpdaterBase::runUpdate()
{
    emit UpdateStarted();
    const std::optional<FirmwareImage> image = takeImage();
    const bool uploaded =
        image && upload(image->bytes, [this](int percent) { emit ProgressUpdate(percent); });
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

// A handed image is used once: the next update gets its own.
std::optional<FirmwareImage> FirmwareUpdaterBase::takeImage()
{
    QString refusal;
    std::optional<FirmwareImage> image;
    {
        std::lock_guard lock(image_mutex);
        refusal = std::exchange(handed_refusal, QString());
        image = std::exchange(handed_image, std::nullopt);
    }
    if (!refusal.isEmpty()) {
        reportFailure(refusal);
        return std::nullopt;
    }
    if (!image) {
        QString error;
        image = FirmwareImage::load(firmwarePath, error);
        if (!image) {
            reportUnreadableImage(error);
            return std::nullopt;
        }
    }
    image_in_use = image->path;
    if (!refuseEmpty(image->bytes))
        return std::nullopt;
    return image;
}

// An image of no bytes would leave the unit without firmware.
bool FirmwareUpdaterBase::refuseEmpty(const QByteArray& image)
{
    if (!image.isEmpty())
        return true;
    reportFailure(QStringLiteral("firmware image \"%1\" is empty: nothing was written").arg(image_in_use));
    return false;
}

void FirmwareUpdaterBase::reportFailure(const QString& reason)
{
    qWarning().noquote() << reason;
    emit FailureReason(reason);
}

void FirmwareUpdaterBase::reportVerification(VerifyResult result, int milliseconds, const QString& failure)
{
    if (result == VerifyFailed)
        reportFailure(QStringLiteral("verify: %1").arg(failure));
    emit Verified(result, milliseconds);
}

void FirmwareUpdaterBase::reportUnreadableImage(const QString& error)
{
    reportFailure(FirmwareImage::unreadableText(firmwarePath, error));
}

bool FirmwareUpdaterBase::exitBootloaderChecked()
{
    exitBootloader();
    return true;
}
