#include "UnitSimulator.h"

#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>

UnitSimulator::UnitSimulator(const QStringList& arguments)
    : linkPath(folder.filePath(QStringLiteral("unit-tty"))), imageFilePath(folder.filePath(QStringLiteral("image.bin")))
{
    QStringList all = arguments;
    all << QStringLiteral("--link") << linkPath << QStringLiteral("--image-out") << imageFilePath;
    process.start(programPath(), all);
    ready = waitForEvent(QStringLiteral("ready "), kStartTimeoutMs);
}

UnitSimulator::~UnitSimulator()
{
    unplug();
}

QString UnitSimulator::programPath()
{
    return QStringLiteral(FWU_BIN_DIR "/lumavex-unit-sim");
}

bool UnitSimulator::isRunning() const
{
    return process.state() != QProcess::NotRunning;
}

QByteArray UnitSimulator::image() const
{
    QFile file(imageFilePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void UnitSimulator::unplug()
{
    if (!isRunning())
        return;
    process.terminate();
    if (!waitForExit(kStopTimeoutMs)) {
        process.kill();
        process.waitForFinished(kStopTimeoutMs);
    }
    collectOutput();
}

bool UnitSimulator::waitForExit(int timeoutMs)
{
    const bool ended = waitUntil([this] { return !isRunning(); }, timeoutMs);
    collectOutput();
    return ended;
}

void UnitSimulator::collectOutput()
{
    QCoreApplication::processEvents(); // QProcess reads its pipes from the event loop
    partialLine += process.readAllStandardOutput();
    errorText += process.readAllStandardError();
    qsizetype end = 0;
    while ((end = partialLine.indexOf('\n')) >= 0) {
        eventLines << QString::fromUtf8(partialLine.left(end));
        partialLine.remove(0, end + 1);
    }
}

QStringList UnitSimulator::events()
{
    collectOutput();
    return eventLines;
}

bool UnitSimulator::waitForEvent(const QString& prefix, int timeoutMs)
{
    const auto seen = [&] {
        collectOutput();
        for (const QString& line : std::as_const(eventLines)) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    };
    return waitUntil([&] { return seen() || !isRunning(); }, timeoutMs) && seen();
}

int UnitSimulator::resetCount()
{
    int count = 0;
    for (const QString& line : events()) {
        if (line.startsWith(QStringLiteral("reset ")))
            count = line.mid(6).toInt();
    }
    return count;
}

QString UnitSimulator::log()
{
    collectOutput();
    return QString::fromUtf8(errorText);
}
