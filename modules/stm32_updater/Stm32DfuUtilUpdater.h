#pragma once

#include "IStm32Updater.h"
#include "Stm32DfuUtilCompletionWatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QTimer;

Q_DECLARE_INTERFACE(IStm32Updater, "IStm32Updater")

namespace stm32_updater {

// Drives an STM32 in its USB DFU bootloader through the dfu-util tool: an
// asynchronous firmware download followed through the tool's progress output,
// and a blocking read of the OTP area through a private temporary file.
class Stm32DfuUtilUpdater : public QObject, public IStm32Updater {
    Q_OBJECT
    Q_INTERFACES(IStm32Updater)

public:
    static constexpr int kPollIntervalMs = 1000;
    static constexpr int kDefaultReadTimeoutMs = 30000;
    // A download whose tool has printed nothing for this long has hung.
    static constexpr int kDefaultStallTimeoutMs = 60000;

    Stm32DfuUtilUpdater(QObject* parent, const QString& deviceFilter, const QString& toolPath);
    ~Stm32DfuUtilUpdater() override;

    // Starts the download and returns at once; UpdateFinished reports the end.
    // False only when a download is already running (nothing is started then).
    // Without leave the device stays in DFU mode after the download.
    bool DownloadFirmware(const std::string& imagePathUtf8, std::uint32_t address, bool leave = true);
    // After a download without leave: the size bytes at address, read through
    // a file in a private folder; empty, with the reason, when the read fails.
    std::optional<QByteArray> ReadBack(std::uint32_t address, std::uint64_t size, QString& error);
    // Makes the device leave DFU mode and start the code at address; false,
    // with the reason, when the request could not be made.
    bool LeaveDfuMode(std::uint32_t address, QString& error);
    // No 100 % after a download whose update failed after all.
    void dropFinalProgress();
    bool isDownloading() const { return download_running; }

    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress,
               std::uint32_t address) noexcept override;
    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept override;
    bool GetTrailerFlag() const override;
    void ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress) override;
    std::vector<std::byte> ReadMemory(std::uint32_t address, std::uint64_t size) override;
    bool ConnectDevice() override;
    void DisconnectDevice() override;

    // Points every later run of the tool at the unit with this USB path
    // ("1-2"); empty: the only unit with the identifiers.
    void setUsbPath(const QString& path) { usb_path = path; }

    // How long ReadMemory lets the tool run before killing it.
    void setReadTimeoutMs(int timeoutMs) { readTimeoutMs = timeoutMs; }
    // How long a download may go without output before the tool is ended; tests shorten it.
    void setStallTimeoutMs(int timeoutMs) { stallTimeoutMs = timeoutMs; }

signals:
    void EraseStarted();
    void EraseFinished();
    void ProgressUpdate(int percent);
    void UpdateFinished(bool status);

private slots:
    void ReadOutput();
    void onProcessFinished(int exit_code, QProcess::ExitStatus exit_status);

private:
    void onProcessError(QProcess::ProcessError error);
    void finishDownload(bool succeeded);
    void endStalledDownload();
    QByteArray takeOutput();

    QString dfu_util_path;
    QProcess* process;
    QString device_vid_pid;
    QString usb_path;
    bool download_running = false;
    bool erase_pending = false;
    QTimer* pollTimer;
    Stm32DfuUtilCompletionWatch completion;
    int readTimeoutMs = kDefaultReadTimeoutMs;
    int stallTimeoutMs = kDefaultStallTimeoutMs;
    QElapsedTimer sinceOutput;
};

} // namespace stm32_updater
