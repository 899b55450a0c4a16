#include "UsbFirmwareUpdater.h"

#include "CheckModelIdInOtp.h"
#include "MismatchText.h"
#include "OtpReadSize.h"
#include "Stm32DfuUtilUpdater.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <utility>

using stm32_updater::Stm32DfuUtilUpdater;

UsbFirmwareUpdater::UsbFirmwareUpdater(const QString& firmwarePath, const QString& dfuUtilPath,
                                       std::uint32_t programmingAddress, std::uint32_t otpAddress,
                                       std::uint64_t otpSize, const QString& fwTargetType, QObject* parent)
    : FirmwareUpdaterBase(firmwarePath, parent),
      runner(std::make_unique<Stm32DfuUtilUpdater>(this, QString::fromLatin1(kDeviceFilter), dfuUtilPath)),
      programming_address(programmingAddress),
      otp_address(otpAddress),
      otp_size(otpReadSize(otpSize)),
      fw_target_type(fwTargetType)
{
    connect(runner.get(), &Stm32DfuUtilUpdater::EraseStarted, this, &FirmwareUpdaterBase::EraseStarted);
    connect(runner.get(), &Stm32DfuUtilUpdater::EraseFinished, this, &FirmwareUpdaterBase::EraseFinished);
    connect(runner.get(), &Stm32DfuUtilUpdater::ProgressUpdate, this, &UsbFirmwareUpdater::relayProgress);
    connect(runner.get(), &Stm32DfuUtilUpdater::UpdateFinished, this, &UsbFirmwareUpdater::onDownloadFinished);
}

// While the read-back is still to come, the download fills the bar only to
// kDownloadShare %; the rest comes with DONE.
void UsbFirmwareUpdater::relayProgress(int percent)
{
    const bool verifyFollows = verifiesAfterWrite() && runner->isDownloading();
    emit ProgressUpdate(verifyFollows ? percent * kDownloadShare / 100 : percent);
}

void UsbFirmwareUpdater::onDownloadFinished(bool status)
{
    image_folder.reset();
    const QByteArray image = std::exchange(image_written, QByteArray());
    if (status && verifiesAfterWrite() && !verifyAndLeave(image)) {
        runner->dropFinalProgress();
        status = false;
    }
    emit UpdateFinished(status);
}

// The download left the unit in DFU mode: read the image back, and only when
// the unit holds it let it leave DFU mode and start it.
bool UsbFirmwareUpdater::verifyAndLeave(const QByteArray& image)
{
    QElapsedTimer clock;
    clock.start();
    QString error;
    const std::optional<QByteArray> held = runner->ReadBack(programming_address, image.size(), error);
    const auto milliseconds = static_cast<int>(clock.elapsed());
    if (!held) {
        reportVerification(VerifyFailed, milliseconds, error);
        return false;
    }
    if (*held != image) {
        reportVerification(VerifyFailed, milliseconds, firstDifference(*held, image));
        return false;
    }
    reportVerification(VerifyPassed, milliseconds);
    if (!runner->LeaveDfuMode(programming_address, error)) {
        reportFailure(QStringLiteral("the unit holds the image, but %1").arg(error));
        return false;
    }
    return true;
}

QString UsbFirmwareUpdater::firstDifference(const QByteArray& held, const QByteArray& written) const
{
    qsizetype at = 0;
    while (held[at] == written[at])
        ++at;
    return QString::fromStdString(stm32_updater::MismatchText(programming_address + static_cast<std::uint32_t>(at),
                                                              static_cast<std::byte>(held[at]),
                                                              static_cast<std::byte>(written[at])));
}

// The runner, and the tool process with it, go before the image file.
UsbFirmwareUpdater::~UsbFirmwareUpdater() = default;

// The port name is the unit's USB path when one of several units is meant,
// empty when the only unit with the identifiers is.
bool UsbFirmwareUpdater::connectDevice(const QString& portName)
{
    runner->setUsbPath(portName);
    return true;
}

void UsbFirmwareUpdater::disconnectDevice() {}

// The tool reads the image from a file: the bytes go into a folder of their
// own that only this user can enter, so nothing else can swap the file, and
// the folder goes when the download has ended. Progress comes back through
// the runner's relayed ProgressUpdate, so the callable is not used.
bool UsbFirmwareUpdater::upload(const QByteArray& image, std::function<void(int)> /*progress*/)
{
    if (!refuseEmpty(image))
        return false;
    auto folder = std::make_unique<QTemporaryDir>();
    const QString path = folder->filePath(QStringLiteral("image.bin"));
    QFile file(path);
    if (!folder->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        file.write(image) != image.size() || !file.flush()) {
        reportFailure(QStringLiteral("the image cannot be handed to dfu-util-static: %1")
                          .arg(folder->isValid() ? file.errorString() : folder->errorString()));
        return false;
    }
    file.close();
    image_folder = std::move(folder);
    if (verifiesAfterWrite())
        image_written = image;
    return runner->DownloadFirmware(path.toUtf8().toStdString(), programming_address, !verifiesAfterWrite());
}

// The download's location argument, or the leave after the read-back, makes
// the unit leave DFU mode.
void UsbFirmwareUpdater::exitBootloader() {}

bool UsbFirmwareUpdater::verifyDeviceId(const QList<uint8_t>& deviceIds)
{
    if (fw_target_type == QLatin1String("service"))
        return true;
    return checkModelIdInOtp(runner->ReadMemory(otp_address, otp_size), deviceIds);
}

void UsbFirmwareUpdater::setStallTimeoutMs(int timeoutMs)
{
    runner->setStallTimeoutMs(timeoutMs);
}

// The update ends with the runner's relayed UpdateFinished when the tool exits.
// A start request while a download runs is left to that download's end.
void UsbFirmwareUpdater::onStartUpdate()
{
    emit UpdateStarted();
    if (runner->isDownloading())
        return;
    const std::optional<FirmwareImage> image = takeImage();
    if (!image || !upload(image->bytes, [this](int percent) { emit ProgressUpdate(percent); }))
        emit UpdateFinished(false);
}

// Nothing is held open, so a refused unit needs no disconnect.
void UsbFirmwareUpdater::onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, const bool& verify)
{
    ConnectionStatus status = connectDevice(port_name) ? Connected : Disconnected;
    if (status == Connected && verify && !verifyDeviceId(device_ids))
        status = DeviceMismatch;
    emit UpdateConnectionStatus(status);
}

void UsbFirmwareUpdater::onDisconnectDevice()
{
    emit UpdateConnectionStatus(Disconnected);
}
