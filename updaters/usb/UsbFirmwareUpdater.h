#pragma once

#include "FirmwareUpdaterBase.h"

#include <QString>
#include <cstdint>
#include <memory>

class QTemporaryDir;

namespace stm32_updater {
class Stm32DfuUtilUpdater;
}

// Updates a unit in its USB DFU bootloader through dfu-util. There is no link
// to hold: every run of the tool finds the unit by its USB identifiers, and by
// its USB path where the connect request names one. The
// download runs in the tool while the worker thread stays free; its erase,
// progress and end are relayed from the runner.
class UsbFirmwareUpdater : public FirmwareUpdaterBase {
    Q_OBJECT

public:
    // The USB identifiers of the STM32 DFU bootloader.
    static constexpr const char* kDeviceFilter = "0483:df11";
    // The share of the bar the download fills when a read-back follows it.
    static constexpr int kDownloadShare = 90;

    UsbFirmwareUpdater(const QString& firmwarePath, const QString& dfuUtilPath, std::uint32_t programmingAddress,
                       std::uint32_t otpAddress, std::uint64_t otpSize, const QString& fwTargetType,
                       QObject* parent = nullptr);
    ~UsbFirmwareUpdater() override;

    bool connectDevice(const QString& portName) override;
    void disconnectDevice() override;
    bool upload(const QByteArray& image, std::function<void(int)> progress) override;
    void exitBootloader() override;
    bool verifyDeviceId(const QList<uint8_t>& deviceIds) override;

    // Tests only: how long a silent dfu-util-static may hold a download.
    void setStallTimeoutMs(int timeoutMs);

public slots:
    void onStartUpdate() override;
    void onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, const bool& verify) override;
    void onDisconnectDevice() override;

private:
    void relayProgress(int percent);
    void onDownloadFinished(bool status);
    bool verifyAndLeave(const QByteArray& image);
    QString firstDifference(const QByteArray& held, const QByteArray& written) const;

    // The bytes of the running download, kept for the read-back.
    QByteArray image_written;
    // Holds the file the running download reads; declared before the runner,
    // so the tool is stopped before its file goes.
    std::unique_ptr<QTemporaryDir> image_folder;
    std::unique_ptr<stm32_updater::Stm32DfuUtilUpdater> runner;
    std::uint32_t programming_address;
    std::uint32_t otp_address;
    std::uint64_t otp_size;
    QString fw_target_type;
};
