#include "Stm32DfuUtilUpdater.h"

#include "PrivateToolFile.h"
#include "Stm32DfuUtilCommandLine.h"
#include "Stm32DfuUtilProgress.h"
#include "ToolProcessGroup.h"

#include <QDebug>
#include <QTimer>

namespace stm32_updater {

namespace {

constexpr int kKillWaitMs = 5000;

void stopTool(QProcess& tool)
{
    if (tool.state() == QProcess::NotRunning)
        return;
    tool.kill();
    tool.waitForFinished(kKillWaitMs);
}

// True when the tool ended on its own within the time; a tool that hangs is killed.
bool runToCompletion(QProcess& tool, int timeoutMs)
{
    tool.waitForFinished(timeoutMs);
    if (tool.state() == QProcess::NotRunning)
        return true;
    stopTool(tool);
    return false;
}

// True when the tool started, ended on its own within the time and said it
// succeeded (exit code 0); a tool that hangs is killed.
bool runToSuccess(QProcess& tool, int timeoutMs)
{
    return runToCompletion(tool, timeoutMs) && tool.error() != QProcess::FailedToStart &&
           tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The tool's last word on standard error, for a failure reason.
QString lastLineOf(const QByteArray& output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines.last().trimmed());
}

} // namespace

Stm32DfuUtilUpdater::Stm32DfuUtilUpdater(QObject* parent, const QString& deviceFilter, const QString& toolPath)
    : QObject(parent),
      dfu_util_path(toolPath),
      process(new QProcess(this)),
      device_vid_pid(deviceFilter),
      pollTimer(new QTimer(this))
{
    ToolProcessGroup::separate(*process);
    connect(process, &QProcess::finished, this, &Stm32DfuUtilUpdater::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &Stm32DfuUtilUpdater::onProcessError);
    pollTimer->setSingleShot(true);
    pollTimer->setInterval(kPollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &Stm32DfuUtilUpdater::ReadOutput);
}

Stm32DfuUtilUpdater::~Stm32DfuUtilUpdater()
{
    pollTimer->stop();
    process->disconnect(this);
    stopTool(*process);
}

bool Stm32DfuUtilUpdater::DownloadFirmware(const std::string& imagePathUtf8, std::uint32_t address, bool leave)
{
    if (download_running)
        return false;
    download_running = true;
    erase_pending = true;
    completion.reset();
    sinceOutput.start();
    // Announced before the start, so that a tool failing to start is reported
    // after it rather than before.
    emit EraseStarted();
    process->start(dfu_util_path,
                   dfuDownloadArguments(device_vid_pid, address, QString::fromStdString(imagePathUtf8), usb_path, leave),
                   QIODevice::ReadWrite);
    if (download_running)
        pollTimer->start();
    return true;
}

void Stm32DfuUtilUpdater::ReadOutput()
{
    if (!download_running) {
        emit ProgressUpdate(100);
        return;
    }
    const QByteArray output = takeOutput();
    if (sinceOutput.hasExpired(stallTimeoutMs)) {
        endStalledDownload();
        return;
    }
    const std::optional<int> percent = lastDownloadPercent(QString::fromUtf8(output));
    if (percent) {
        if (erase_pending) {
            erase_pending = false;
            emit EraseFinished();
        }
        emit ProgressUpdate(*percent);
    }
    pollTimer->start();
}

// dfu-util often reports an error after the device left DFU mode at the end
// of a good download, so a nonzero exit code still counts as success once the
// tool has said the whole file was written. Without that line (no device, no
// image file, a transfer error) it is a failure.
void Stm32DfuUtilUpdater::onProcessFinished(int exit_code, QProcess::ExitStatus exit_status)
{
    if (!download_running)
        return;
    takeOutput();
    finishDownload(exit_status == QProcess::NormalExit && (exit_code == 0 || completion.completed()));
}

void Stm32DfuUtilUpdater::onProcessError(QProcess::ProcessError error)
{
    // A tool that cannot be started never reports finished.
    if (error == QProcess::FailedToStart && download_running)
        finishDownload(false);
}

// After a good run the next poll reports 100 % and stops; a failed run stops
// polling at once, so the bar is not filled beside the error.
void Stm32DfuUtilUpdater::finishDownload(bool succeeded)
{
    download_running = false;
    if (!succeeded)
        pollTimer->stop();
    emit UpdateFinished(succeeded);
}

// A tool that has stopped talking without exiting would hold the unit and
// the window in Updating for ever; ending it is the only way out.
void Stm32DfuUtilUpdater::endStalledDownload()
{
    qWarning() << "dfu-util-static printed nothing for" << stallTimeoutMs / 1000 << "s: download stopped";
    finishDownload(false);
    stopTool(*process);
}

// Anything the tool prints, on either stream, shows that it is still working.
QByteArray Stm32DfuUtilUpdater::takeOutput()
{
    const QByteArray errors = process->readAllStandardError();
    const QByteArray output = process->readAllStandardOutput();
    if (!errors.isEmpty() || !output.isEmpty())
        sinceOutput.restart();
    completion.feed(output);
    return output;
}

bool Stm32DfuUtilUpdater::Flash(std::span<const std::byte> image, const ProgressCallback& progress,
                                std::uint32_t /*address*/) noexcept
{
    return Flash(image, progress);
}

bool Stm32DfuUtilUpdater::Flash(std::span<const std::byte> /*image*/, const ProgressCallback& /*progress*/) noexcept
{
    return false;
}

bool Stm32DfuUtilUpdater::GetTrailerFlag() const
{
    return true;
}

void Stm32DfuUtilUpdater::ExitDfu(std::uint32_t /*goAddress*/, std::uint32_t /*markerAddress*/) {}

// Each read has a file of its own, so reads of two units at once (two
// programs, or the window and the command line) never see each other's bytes.
// Only a run that says it succeeded and leaves exactly the bytes asked for
// counts: anything else gives no bytes, and so no model.
std::vector<std::byte> Stm32DfuUtilUpdater::ReadMemory(std::uint32_t address, std::uint64_t size)
{
    const PrivateToolFile otpFile(QStringLiteral("otp.bin"));
    if (!otpFile.isValid()) {
        qWarning() << "no private temporary folder for the OTP read:" << otpFile.errorString();
        return {};
    }
    QProcess tool;
    ToolProcessGroup::separate(tool);
    tool.start(dfu_util_path, dfuUploadArguments(device_vid_pid, address, size, otpFile.path(), usb_path),
               QIODevice::ReadWrite);
    if (!runToSuccess(tool, readTimeoutMs)) {
        qWarning() << "dfu-util-static did not read the OTP block: exit code" << tool.exitCode()
                   << (tool.exitStatus() == QProcess::NormalExit ? "" : "(crashed or killed)");
        return {};
    }
    const std::optional<QByteArray> bytes = otpFile.read(static_cast<qint64>(size));
    if (!bytes) {
        qWarning() << "dfu-util-static left no OTP file of" << size << "bytes";
        return {};
    }
    const auto* first = reinterpret_cast<const std::byte*>(bytes->constData());
    return std::vector<std::byte>(first, first + bytes->size());
}

// The read-back gets a private file of its own, as the OTP read does.
std::optional<QByteArray> Stm32DfuUtilUpdater::ReadBack(std::uint32_t address, std::uint64_t size, QString& error)
{
    const PrivateToolFile readBack(QStringLiteral("read-back.bin"));
    if (!readBack.isValid()) {
        error = QStringLiteral("no private folder for the read-back: %1").arg(readBack.errorString());
        return std::nullopt;
    }
    QProcess tool;
    ToolProcessGroup::separate(tool);
    tool.start(dfu_util_path, dfuReadBackArguments(device_vid_pid, address, size, readBack.path(), usb_path),
               QIODevice::ReadWrite);
    if (!runToCompletion(tool, readTimeoutMs)) {
        error = QStringLiteral("dfu-util-static did not finish reading the image back within %1 s")
                    .arg(readTimeoutMs / 1000);
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = readBack.read(static_cast<qint64>(size));
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0 || !bytes) {
        error = QStringLiteral("dfu-util-static could not read the image back (exit code %1, not the %2 bytes "
                               "asked for): %3")
                    .arg(tool.exitCode())
                    .arg(size)
                    .arg(lastLineOf(tool.readAllStandardError()));
        return std::nullopt;
    }
    return bytes;
}

// dfu-util may report an error once the device has gone, right after it sent
// the leave request; that request going out is what counts.
bool Stm32DfuUtilUpdater::LeaveDfuMode(std::uint32_t address, QString& error)
{
    QProcess tool;
    ToolProcessGroup::separate(tool);
    tool.start(dfu_util_path, dfuLeaveArguments(device_vid_pid, address, usb_path), QIODevice::ReadWrite);
    const bool ended = runToCompletion(tool, readTimeoutMs);
    const bool requested = tool.readAllStandardOutput().contains("Submitting leave request");
    if (ended && tool.exitStatus() == QProcess::NormalExit && (tool.exitCode() == 0 || requested))
        return true;
    error = QStringLiteral("dfu-util-static could not make the unit leave DFU mode (exit code %1): %2")
                .arg(tool.exitCode())
                .arg(lastLineOf(tool.readAllStandardError()));
    return false;
}

void Stm32DfuUtilUpdater::dropFinalProgress()
{
    pollTimer->stop();
}

bool Stm32DfuUtilUpdater::ConnectDevice()
{
    return true;
}

void Stm32DfuUtilUpdater::DisconnectDevice() {}

} // namespace stm32_updater
