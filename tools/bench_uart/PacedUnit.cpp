#include "PacedUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 3000;
const QByteArray kFullBlockSuffix = " 256";

} // namespace

PacedUnit::PacedUnit(const QString& folder, const QString& name, int baud)
    : linkPath(folder + "/" + name), flashPath(folder + "/" + name + ".flash")
{
    const QString program = QCoreApplication::applicationDirPath() + "/lumavex-unit-sim";
    process.start(program, {"--mode", "stm32", "--model-id", "7", "--baud", QString::number(baud), "--link",
                            linkPath, "--image-out", flashPath});
    clock.start();
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!ready && !deadline.hasExpired() && process.state() != QProcess::NotRunning)
        poll(50);
}

PacedUnit::~PacedUnit()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kStopTimeoutMs))
        process.kill();
    process.waitForFinished(kStopTimeoutMs);
}

QByteArray PacedUnit::flash() const
{
    QFile file(flashPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void PacedUnit::poll(int timeoutMs)
{
    process.waitForReadyRead(timeoutMs);
    takeLines();
}

void PacedUnit::takeLines()
{
    const qint64 now = clock.nsecsElapsed();
    errorText += process.readAllStandardError();
    partialLine += process.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = partialLine.indexOf('\n')) >= 0) {
        const QByteArray line = partialLine.left(end).trimmed();
        partialLine.remove(0, end + 1);
        if (line.startsWith("ready "))
            ready = true;
        else if (line.startsWith("write ") && line.endsWith(kFullBlockSuffix))
            fullBlockTimesNs << now;
    }
}

PacedUnit::WritePhase PacedUnit::writePhase() const
{
    if (fullBlockTimesNs.size() < 2)
        return {};
    return {static_cast<int>(fullBlockTimesNs.size() - 1),
            static_cast<double>(fullBlockTimesNs.last() - fullBlockTimesNs.first()) / 1e9};
}
