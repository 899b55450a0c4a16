#include "UartFirmwareUpdater.h"

#include "BootModeMarker.h"
#include "CheckModelIdInOtp.h"
#include "OtpReadSize.h"
#include "Stm32ApplicationImage.h"
#include "Stm32UartUpdater.h"

#include <QDebug>
#include <QFileInfo>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <fmt/format.h>
#include <optional>
#include <vector>

namespace {

constexpr std::uint8_t kReservedReceivers = 1;
constexpr std::uint32_t kUartMode = 1;

// The image zero-padded to whole 32-bit words.
std::vector<std::byte> paddedImage(const QByteArray& content)
{
    std::vector<std::byte> padded(reinterpret_cast<const std::byte*>(content.constData()),
                                  reinterpret_cast<const std::byte*>(content.constData()) + content.size());
    padded.resize(image::Stm32ApplicationImage::paddedSize(padded.size()), std::byte{0});
    return padded;
}

// The read-back takes about as long as the write, so each fills half the
// bar; 100 % comes only with DONE.
int shareOfVerifiedUpdate(IFwUpdater::State state, unsigned percent)
{
    const auto half = static_cast<int>(percent / 2);
    return state == IFwUpdater::State::Verifying ? std::min(50 + half, 99) : half;
}

} // namespace

UartFirmwareUpdater::UartFirmwareUpdater(const QString& firmwarePath, std::uint32_t start_address,
                                         std::uint32_t programming_address, std::uint32_t otp_address,
                                         std::uint64_t otp_size, std::uint32_t boot_mode_address,
                                         const QString& fw_target_type, QObject* parent)
    : UartFirmwareUpdater(firmwarePath, start_address, programming_address, otp_address, otp_size,
                          boot_mode_address, fw_target_type, nullptr, parent)
{
    client = makeUartClient();
}

UartFirmwareUpdater::UartFirmwareUpdater(const QString& firmwarePath, std::uint32_t start_address,
                                         std::uint32_t programming_address, std::uint32_t otp_address,
                                         std::uint64_t otp_size, std::uint32_t boot_mode_address,
                                         const QString& fw_target_type, std::unique_ptr<IStm32Updater> client,
                                         QObject* parent)
    : FirmwareUpdaterBase(firmwarePath, parent),
      start_address(start_address),
      programming_address(programming_address),
      otp_address(otp_address),
      otp_size(otpReadSize(otp_size)),
      boot_mode_address(boot_mode_address),
      fw_target_type(fw_target_type),
      dispatcher({}, kReservedReceivers),
      uart_interface(std::make_unique<UartInterface>(&uart_semaphore, this)),
      client(std::move(client))
{
}

UartFirmwareUpdater::~UartFirmwareUpdater()
{
    closeSerialLink();
}

std::unique_ptr<IStm32Updater> UartFirmwareUpdater::makeUartClient()
{
    const auto noLine = [](bool) {};
    const auto noHook = [] {};
    return std::make_unique<stm32_updater::Stm32UartUpdater>(noLine, noLine, uart_interface.get(), &dispatcher,
                                                             &flash_mutex, true, false, noHook, noHook, kUartMode);
}

bool UartFirmwareUpdater::connectDevice(const QString& portName)
{
    // A failed handshake leaves its link up; a retry replaces it.
    closeSerialLink();
    if (!openSerialLink(portName))
        return false;
    return client->ConnectDevice();
}

bool UartFirmwareUpdater::openSerialLink(const QString& portName)
{
    auto port = std::make_unique<Uart>(portName, kBaudRate, &uart_semaphore);
    if (!port->isOpen())
        return false;
    // No Uart is attached now, so no late report can reach the gate.
    uart_interface->resetTransmitGate();
    uart = port.release();
    uart_thread = new QThread();
    uart->moveToThread(uart_thread);
    connect(uart_thread, &QThread::finished, uart, &QObject::deleteLater);
    transmitConnection = connect(uart_interface.get(), &UartInterface::TransmitData, uart, &Uart::onTransmit);
    rxCallbackConnection =
        connect(uart_interface.get(), &UartInterface::SetRxCallback, uart, &Uart::onSetRxCallback);
    uart_thread->start(QThread::InheritPriority);
    return true;
}

void UartFirmwareUpdater::disconnectDevice()
{
    closeSerialLink();
}

void UartFirmwareUpdater::closeSerialLink()
{
    disconnect(transmitConnection);
    disconnect(rxCallbackConnection);
    if (!uart_thread)
        return;
    uart_thread->quit();
    uart_thread->wait();
    // The Uart went with its thread, through deleteLater.
    delete uart_thread;
    uart_thread = nullptr;
    uart = nullptr;
}

bool UartFirmwareUpdater::upload(const QByteArray& content, std::function<void(int)> progress)
{
    if (!refuseEmpty(content))
        return false;
    const std::vector<std::byte> image = paddedImage(content);
    if (std::ssize(image) < kMinimumImageSize) {
        reportFailure(QStringLiteral("UartFirmwareUpdater: image too short \"%1\"").arg(image_in_use));
        return false;
    }
    // Before the erase: an image over the boot-mode marker would have the
    // marker programmed over image bytes, and one past the unit's flash end
    // would be erased and written page by page until the bootloader refuses one.
    QString problem = flashEndProblem(content.size());
    if (problem.isEmpty())
        problem = bootModeMarkerConflict(programming_address, image.size(), boot_mode_address);
    if (!problem.isEmpty()) {
        client->DisconnectDevice();
        reportFailure(problem);
        return false;
    }
    const bool verify = verifiesAfterWrite();
    const auto relay = [&progress, verify](IFwUpdater::State state, unsigned percent) {
        if (progress)
            progress(verify ? shareOfVerifiedUpdate(state, percent) : static_cast<int>(percent));
    };
    const bool flashed = client->Flash(image, relay, programming_address);
    const bool held = flashed && (!verify || verifyWritten(image, relay));
    client->DisconnectDevice();
    return held;
}

// Before the marker and Go: a unit that does not hold the image stays in its
// bootloader, ready for another try.
bool UartFirmwareUpdater::verifyWritten(std::span<const std::byte> image, const IFwUpdater::ProgressCallback& progress)
{
    QElapsedTimer clock;
    clock.start();
    const std::string difference = client->VerifyImage(image, programming_address, progress);
    const auto milliseconds = static_cast<int>(clock.elapsed());
    if (!difference.empty()) {
        reportVerification(VerifyFailed, milliseconds, QString::fromStdString(difference));
        return false;
    }
    reportVerification(VerifyPassed, milliseconds);
    return true;
}

QString UartFirmwareUpdater::flashEndProblem(qsizetype imageSize) const
{
    const std::optional<stm32_updater::Stm32DeviceInfo> device = client->ConnectedDevice();
    if (!flash_end_check || !device)
        return {};
    const std::string problem = image::Stm32ApplicationImage::fitProblem(static_cast<std::size_t>(imageSize),
                                                                         programming_address, device->flashEnd);
    if (problem.empty())
        return {};
    return QStringLiteral("firmware image \"%1\" does not fit product 0x%2: %3")
        .arg(QFileInfo(image_in_use).fileName())
        .arg(device->productId, 4, 16, QLatin1Char('0'))
        .arg(QString::fromStdString(problem));
}

void UartFirmwareUpdater::reportUnreadableImage(const QString& error)
{
    fmt::print("File {} not found/could not be opened\n", firmwarePath.toLocal8Bit().toStdString());
    std::fflush(stdout);
    FirmwareUpdaterBase::reportUnreadableImage(error);
}

void UartFirmwareUpdater::exitBootloader()
{
    client->ExitDfu(start_address, boot_mode_address);
}

bool UartFirmwareUpdater::exitBootloaderChecked()
{
    try {
        exitBootloader();
        return true;
    } catch (const std::exception& error) {
        qWarning() << "UartFirmwareUpdater: leaving the bootloader failed" << error.what();
        return false;
    }
}

bool UartFirmwareUpdater::verifyDeviceId(const QList<uint8_t>& deviceIds)
{
    if (fw_target_type == QStringLiteral("service"))
        return true;
    const std::vector<std::byte> otp = client->ReadMemory(otp_address, otp_size);
    return checkModelIdInOtp(otp, deviceIds);
}

void UartFirmwareUpdater::onStartUpdate()
{
    runUpdate();
}

void UartFirmwareUpdater::onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids,
                                            const bool& verify)
{
    connectAndReport(port_name, device_ids, verify);
}

void UartFirmwareUpdater::onDisconnectDevice()
{
    disconnectAndReport();
}
