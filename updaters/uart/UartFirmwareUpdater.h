#pragma once

#include "Dispatcher.h"
#include "FirmwareUpdaterBase.h"
#include "IStm32Updater.h"
#include "Uart.h"
#include "UartInterface.h"

#include <QSemaphore>
#include <QThread>
#include <cstdint>
#include <memory>
#include <span>
#include <mutex>

// Back-end for units updated through the STM32 system bootloader over a
// serial line. Each connection gets a Uart on a serial thread of its own; the
// bootloader client runs on this object's worker thread and reaches the port
// through the UartInterface bridge.
class UartFirmwareUpdater : public FirmwareUpdaterBase {
    Q_OBJECT

public:
    static constexpr std::uint32_t kBaudRate = 460800;
    // The client writes its trailer into the image's last 8 bytes.
    static constexpr qsizetype kMinimumImageSize = 8;

    UartFirmwareUpdater(const QString& firmwarePath, std::uint32_t start_address,
                        std::uint32_t programming_address, std::uint32_t otp_address, std::uint64_t otp_size,
                        std::uint32_t boot_mode_address, const QString& fw_target_type,
                        QObject* parent = nullptr);
    ~UartFirmwareUpdater() override;

    bool connectDevice(const QString& portName) override;
    void disconnectDevice() override;
    bool upload(const QByteArray& image, std::function<void(int)> progress) override;
    void exitBootloader() override;
    bool verifyDeviceId(const QList<uint8_t>& deviceIds) override;

    // Whether upload refuses an image that runs past the flash end of the
    // unit Get ID named (on unless image_check is false).
    void setFlashEndCheck(bool on) { flash_end_check = on; }

public slots:
    void onStartUpdate() override;
    void onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, const bool& verify) override;
    void onDisconnectDevice() override;

protected:
    // Same wiring with a bootloader client of the caller's choosing.
    UartFirmwareUpdater(const QString& firmwarePath, std::uint32_t start_address,
                        std::uint32_t programming_address, std::uint32_t otp_address, std::uint64_t otp_size,
                        std::uint32_t boot_mode_address, const QString& fw_target_type,
                        std::unique_ptr<IStm32Updater> client, QObject* parent);

    // A failed jump into the new firmware makes the update a failure.
    bool exitBootloaderChecked() override;
    // Also names the file on standard output, where service scripts look for it.
    void reportUnreadableImage(const QString& error) override;

    hal::uart::IUartDriver& uartDriver() { return *uart_interface; }
    bool hasSerialLink() const { return uart_thread != nullptr; }

private:
    std::unique_ptr<IStm32Updater> makeUartClient();
    QString flashEndProblem(qsizetype imageSize) const;
    // Reads the written image back; false, with the reason reported, when it differs.
    bool verifyWritten(std::span<const std::byte> image, const IFwUpdater::ProgressCallback& progress);
    bool openSerialLink(const QString& portName);
    void closeSerialLink();

    std::uint32_t start_address;
    std::uint32_t programming_address;
    std::uint32_t otp_address;
    std::uint64_t otp_size;
    std::uint32_t boot_mode_address;
    QString fw_target_type;
    bool flash_end_check = true;
    Uart* uart = nullptr;
    // Declared before the interface and the client that point at them, so
    // they go last.
    dispatcher::Dispatcher dispatcher;
    QSemaphore uart_semaphore{1};
    std::mutex flash_mutex;
    std::unique_ptr<UartInterface> uart_interface;
    std::unique_ptr<IStm32Updater> client;
    QThread* uart_thread = nullptr;
    QMetaObject::Connection transmitConnection;
    QMetaObject::Connection rxCallbackConnection;
};
