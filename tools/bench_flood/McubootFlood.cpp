#include "McubootFlood.h"

#include "McubootSerialUpdater.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kUpdateTimeoutMs = 30000;
// Request 1 is the probe and 2 the model read, so 3 is the first upload chunk.
constexpr const char* kFloodFromRequest = "3";

bool waitForReady(QProcess& simulator)
{
    QByteArray output;
    while (simulator.waitForReadyRead(kStartTimeoutMs)) {
        output += simulator.readAllStandardOutput();
        if (output.contains("ready "))
            return true;
    }
    return false;
}

// Runs the event loop until `done` or the timeout.
bool waitFor(const std::atomic<bool>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done;
}

} // namespace

std::optional<MemoryWatch::Figures> McubootFlood::run(const QString& simulatorPath, int seconds)
{
    QTemporaryDir folder;
    const QString link = QDir(folder.path()).filePath("unit");
    const QString imagePath = QDir(folder.path()).filePath("image.bin");
    QFile image(imagePath);
    if (!image.open(QIODevice::WriteOnly) || image.write(QByteArray(20 * 1024, '\x5A')) != 20 * 1024)
        return std::nullopt;
    image.close();

    QProcess simulator;
    simulator.setStandardErrorFile(QDir(folder.path()).filePath("simulator.log"));
    simulator.start(simulatorPath, {"--link", link, "--model-id", "7", "--flood-from-request", kFloodFromRequest});
    if (!simulator.waitForStarted(kStartTimeoutMs) || !waitForReady(simulator)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return std::nullopt;
    }

    // As in the program: the back-end on a worker thread with its own event loop.
    auto* updater = new McubootSerialUpdater(imagePath, 921600, false, QString(), nullptr);
    QThread worker;
    updater->moveToThread(&worker);
    worker.start();
    std::atomic<bool> connected = false;
    std::atomic<bool> finished = false;
    QObject::connect(updater, &FirmwareUpdaterBase::UpdateConnectionStatus, &worker,
                     [&](ConnectionStatus status) { connected = status == ConnectionStatus::Connected; },
                     Qt::DirectConnection);
    QObject::connect(updater, &FirmwareUpdaterBase::UpdateFinished, &worker, [&](bool) { finished = true; },
                     Qt::DirectConnection);
    QMetaObject::invokeMethod(updater, [&] { updater->onConnectToDevice(link, {7}, true); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(updater, [&] { updater->onStartUpdate(); }, Qt::QueuedConnection);

    std::optional<MemoryWatch::Figures> figures;
    if (waitFor(finished, kUpdateTimeoutMs) && connected)
        figures = MemoryWatch::run("mcuboot", seconds);
    else
        std::fprintf(stderr, "the unit was not connected or the upload did not end\n");

    worker.quit();
    worker.wait();
    delete updater;
    simulator.terminate();
    simulator.waitForFinished(kStartTimeoutMs);
    return figures;
}
