// Flashes one 256 KiB image to the simulated bootloader at 460800 baud, once
// through our UART back-end and once through stm32flash, and prints the times.
#include "PacedUnit.h"
#include "UartFirmwareUpdater.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <fmt/format.h>

namespace {

constexpr int kLineBaud = 460800;
constexpr int kBitsPerByte = 11;
constexpr int kImageSize = 256 * 1024;
constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kOtpAddress = 0x1FFF7000;
constexpr std::uint64_t kOtpSize = 512;
constexpr std::uint32_t kMarkerAddress = 0x0807F800;
constexpr int kTrailerSize = 8;
constexpr int kToolTimeoutMs = 120000;

struct RunResult {
    bool ok = false;
    double totalSeconds = 0.0;
    double connectSeconds = 0.0;  // our client only: link, handshake and model check
    PacedUnit::WritePhase write;
    QByteArray flash;
};

QByteArray makeImage()
{
    QByteArray image(kImageSize, Qt::Uninitialized);
    QRandomGenerator generator(2024);
    for (char& byte : image)
        byte = static_cast<char>(generator.bounded(256));
    return image;
}

double seconds(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e9; }

// Connect, model check, upload and start, as the window's update would do
// them, on a worker thread while this thread takes in the unit's events.
RunResult runOurClient(const QString& folder, const QString& imagePath, int baud, bool verify = false)
{
    QFile imageFile(imagePath);
    const QByteArray image = imageFile.open(QIODevice::ReadOnly) ? imageFile.readAll() : QByteArray();
    PacedUnit unit(folder, "ours", baud);
    RunResult result;
    if (!unit.isReady()) {
        fmt::print(stderr, "simulator did not start:\n{}\n", unit.errorLog().toStdString());
        return result;
    }
    QThread worker;
    auto* updater = new UartFirmwareUpdater(imagePath, kFlashBase, kFlashBase, kOtpAddress, kOtpSize,
                                            kMarkerAddress, QStringLiteral("application"));
    updater->setVerifyAfterWrite(verify);
    updater->moveToThread(&worker);
    QObject::connect(&worker, &QThread::finished, updater, &QObject::deleteLater);
    worker.start();
    std::atomic<bool> done = false;
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(updater, [&] {
        const bool connected = updater->connectDevice(unit.path()) && updater->verifyDeviceId({7});
        result.connectSeconds = seconds(clock);
        result.ok = connected && updater->upload(image, nullptr);
        if (result.ok)
            updater->exitBootloader();
        updater->disconnectDevice();
        result.totalSeconds = seconds(clock);
        done = true;
    });
    while (!done)
        unit.poll(20);
    worker.quit();
    worker.wait();
    unit.poll(100);
    result.write = unit.writePhase();
    result.flash = unit.flash();
    return result;
}

RunResult runStm32flash(const QString& folder, const QString& imagePath, int baud, bool verify = false)
{
    PacedUnit unit(folder, "stm32flash", baud);
    RunResult result;
    if (!unit.isReady())
        return result;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardOutputFile(folder + "/stm32flash.log");
    QElapsedTimer clock;
    clock.start();
    QStringList arguments{"-b", QString::number(kLineBaud), "-m", "8n1", "-w", imagePath};
    if (verify)
        arguments << "-v";
    arguments << "-g" << QString::number(kFlashBase, 16).prepend("0x") << unit.path();
    tool.start("stm32flash", arguments);
    while (tool.state() != QProcess::NotRunning && clock.elapsed() < kToolTimeoutMs) {
        unit.poll(20);
        tool.waitForFinished(0);
    }
    result.totalSeconds = seconds(clock);
    if (tool.state() != QProcess::NotRunning) {
        tool.kill();
        tool.waitForFinished();
    }
    result.ok = tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (!result.ok) {
        QFile log(folder + "/stm32flash.log");
        log.open(QIODevice::ReadOnly);
        fmt::print(stderr, "stm32flash failed:\n{}\n", log.readAll().toStdString());
    }
    unit.poll(100);
    result.write = unit.writePhase();
    result.flash = unit.flash();
    return result;
}

QByteArray withTrailerFlag(QByteArray image)
{
    const qsizetype trailer = image.size() - kTrailerSize;
    image[trailer + 4] = 1;
    image[trailer + 5] = image[trailer + 6] = image[trailer + 7] = 0;
    return image;
}

// The share of the line's capacity that the image's own bytes used while the
// full blocks were written.
double linkShare(const PacedUnit::WritePhase& write)
{
    if (write.seconds <= 0.0)
        return 0.0;
    const double idealSeconds = static_cast<double>(write.blocks) * 256 * kBitsPerByte / kLineBaud;
    return idealSeconds / write.seconds;
}

void printRun(const char* name, const RunResult& run, bool flashOk)
{
    fmt::print("{:<11} total {:7.3f} s   write phase {:7.3f} s over {} blocks ({:.3f} ms a block)   flash {}\n",
               name, run.totalSeconds, run.write.seconds, run.write.blocks,
               run.write.blocks > 0 ? 1000.0 * run.write.seconds / run.write.blocks : 0.0, flashOk ? "ok" : "WRONG");
}

bool holdsOurImage(const RunResult& run, const QByteArray& image)
{
    return run.ok && run.flash.startsWith(withTrailerFlag(image)) &&
           run.flash.mid(kMarkerAddress - kFlashBase, 4) == "PUWF";
}

// The same run on an unpaced unit: what is left per block is the round trips
// of the three exchanges, with no line time in it.
void printUnpacedOverhead(const QString& folder, const QString& imagePath, const QByteArray& image)
{
    const RunResult ours = runOurClient(folder, imagePath, 0);
    const RunResult tool = runStm32flash(folder, imagePath, 0);
    fmt::print("unpaced (round trips only):\n");
    printRun("ours", ours, holdsOurImage(ours, image));
    printRun("stm32flash", tool, tool.ok && tool.flash.startsWith(image));
}

// Both clients again with a read-back of what they wrote: ours reads the
// whole range after the last block, stm32flash -v reads each block after it.
bool printVerifiedRuns(const QString& folder, const QString& imagePath, const QByteArray& image, double unverified)
{
    const RunResult ours = runOurClient(folder, imagePath, kLineBaud, true);
    const RunResult tool = runStm32flash(folder, imagePath, kLineBaud, true);
    const bool oursFlashOk = holdsOurImage(ours, image);
    const bool toolFlashOk = tool.ok && tool.flash.startsWith(image);
    fmt::print("with verification (ours: verify_after_write, stm32flash: -v):\n");
    printRun("ours", ours, oursFlashOk);
    printRun("stm32flash", tool, toolFlashOk);
    if (!oursFlashOk || !toolFlashOk)
        return false;
    const double ratio = ours.totalSeconds / tool.totalSeconds;
    fmt::print("our read-back adds {:.3f} s; ratio ours/stm32flash with verification {:.4f} (goal <= 1.00: {})\n",
               ours.totalSeconds - unverified, ratio, ratio <= 1.0 ? "met" : "missed");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString imagePath = folder.filePath("image.bin");
    const QByteArray image = makeImage();
    QFile file(imagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();

    fmt::print("image {} bytes, line {} baud, {} bits a byte: ideal transfer {:.3f} s ({:.3f} ms a block)\n",
               image.size(), kLineBaud, kBitsPerByte, static_cast<double>(image.size()) * kBitsPerByte / kLineBaud,
               256.0 * kBitsPerByte * 1000 / kLineBaud);
    const RunResult ours = runOurClient(folder.path(), imagePath, kLineBaud);
    const RunResult tool = runStm32flash(folder.path(), imagePath, kLineBaud);
    const bool oursFlashOk = holdsOurImage(ours, image);
    const bool toolFlashOk = tool.ok && tool.flash.startsWith(image);
    printRun("ours", ours, oursFlashOk);
    printRun("stm32flash", tool, toolFlashOk);
    if (!oursFlashOk || !toolFlashOk)
        return 1;
    const double ratio = ours.totalSeconds / tool.totalSeconds;
    const double share = linkShare(ours.write);
    fmt::print("our connect and model check {:.3f} s\n", ours.connectSeconds);
    fmt::print("ratio ours/stm32flash {:.4f} (goal <= 1.05: {})\n", ratio, ratio <= 1.05 ? "met" : "missed");
    fmt::print("link share in the write phase: ours {:.1f} %, stm32flash {:.1f} % (goal >= 90 %: {})\n",
               100.0 * share, 100.0 * linkShare(tool.write), share >= 0.90 ? "met" : "missed");
    if (!printVerifiedRuns(folder.path(), imagePath, image, ours.totalSeconds))
        return 1;
    printUnpacedOverhead(folder.path(), imagePath, image);
    return 0;
}
