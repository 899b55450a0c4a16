#include "UsbFirmwareUpdater.h"

#include "CheckModelIdInOtp.h"
#include "OtpReadSize.h"
#include "Stm32DfuUtilUpdater.h"

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
}

// The runner, and the tool process with it, go before the base releases the path.
UsbFirmwareUpdater::~UsbFirmwareUpdater() = default;

// The port name is the unit's USB path when one of several units is meant,
// empty when the only unit with the identifiers is.
bool UsbFirmwareUpdater::connectDevice(const QString& portName)
{
    runner->setUsbPath(portName);
    return true;
}

void UsbFirmwareUpdater::disconnectDevice() {}

// Progress comes back through the runner's relayed ProgressUpdate, so the
// callable is not used.
bool UsbFirmwareUpdater::upload(const QString& path, std::function<void(int)> /*progress*/)
{
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
void UsbFirmwareUpdater::onStartUpdate()
{
    emit UpdateStarted();
    if (imageFileIsEmpty()) {
        emit UpdateFinished(false);
        return;
    }
    upload(firmwarePath, [this](int percent) { emit ProgressUpdate(percent); });
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
