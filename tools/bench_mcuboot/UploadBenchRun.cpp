#include "UploadBenchRun.h"

#include "McubootSerialUpdater.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <memory>
#include <sys/resource.h>

namespace {

double seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// User and system CPU of the whole updater process (every thread, no child).
std::pair<double, double> processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

} // namespace

UploadBenchRun::UploadBenchRun(QString portPath, QString imagePath, int baudRate)
    : portPath(std::move(portPath)), imagePath(std::move(imagePath)), baudRate(baudRate)
{
}

std::optional<UploadBenchRun::Measurement> UploadBenchRun::run(QString& error)
{
    // The updater is made, used and destroyed on the worker, as in the
    // application; this thread only waits for it to end.
    std::optional<Measurement> result;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = connectAndUpload(error); }));
    worker->start();
    worker->wait();
    return result;
}

std::optional<UploadBenchRun::Measurement> UploadBenchRun::connectAndUpload(QString& error) const
{
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + imagePath;
        return std::nullopt;
    }
    const QByteArray image = file.readAll();
    McubootSerialUpdater updater(imagePath, baudRate, false, QString());
    if (!updater.connectDevice(portPath)) {
        error = "connectDevice failed on " + portPath;
        return std::nullopt;
    }
    Measurement measurement;
    measurement.exchangeMs.reserve(1024);
    QElapsedTimer clock;
    qint64 lastAnswerNs = 0;
    const auto recordAnswer = [&](int) {
        const qint64 now = clock.nsecsElapsed();
        measurement.exchangeMs.push_back(static_cast<double>(now - lastAnswerNs) / 1e6);
        lastAnswerNs = now;
    };
    const auto [userBefore, systemBefore] = processCpuSeconds();
    clock.start();
    const bool uploaded = updater.upload(image, recordAnswer);
    measurement.wallSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const auto [userAfter, systemAfter] = processCpuSeconds();
    if (!uploaded) {
        error = "upload failed";
        return std::nullopt;
    }
    measurement.userCpuSeconds = userAfter - userBefore;
    measurement.systemCpuSeconds = systemAfter - systemBefore;
    return measurement;
}
