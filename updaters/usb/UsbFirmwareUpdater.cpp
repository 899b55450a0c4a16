#include "UsbFirmwareUpdater.h"

#include "CheckModelIdInOtp.h"
#include "OtpReadSize.h"
#include "Stm32DfuUtilUpdater.h"

#include <QFile>
#include <QTemporaryDir>

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
    connect(runner.get(), &Stm32DfuUtilUpdater::ProgressUpdate, this, &FirmwareUpdaterBase::ProgressUpdate);
    connect(runner.get(), &Stm32DfuUtilUpdater::UpdateFinished, this, &FirmwareUpdaterBase::UpdateFinished);
    connect(runner.get(), &Stm32DfuUtilUpdater::UpdateFinished, this, [this] { image_folder.reset(); });
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
    return runner->DownloadFirmware(path.toUtf8().toStdString(), programming_address);
}

// The download's location argument already makes the unit leave DFU mode.
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
