#include "BenchSimulator.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <unistd.h>

BenchSimulator::BenchSimulator(const QString& program, const QString& folder, int baudRate,
                               const QStringList& extraArguments)
    : program(program),
      link(QDir(folder).filePath("unit")),
      received(QDir(folder).filePath("received.bin")),
      logPath(QDir(folder).filePath("simulator.log")),
      baudRate(baudRate),
      extraArguments(extraArguments)
{
}

BenchSimulator::~BenchSimulator()
{
    stop();
}

bool BenchSimulator::start(QString& error)
{
    // The request log would fill the pipe while nobody reads it: a file takes it.
    process.setStandardErrorFile(logPath);
    process.start(program, QStringList{"--link", link, "--image-out", received, "--baud", QString::number(baudRate)} +
                               extraArguments);
    if (!process.waitForStarted(kStartTimeoutMs)) {
        error = "cannot start " + program + ": " + process.errorString();
        return false;
    }
    if (!waitForEvent("ready ", kStartTimeoutMs)) {
        error = "the simulator did not report ready (log: " + logPath + ")";
        stop();
        return false;
    }
    return true;
}

void BenchSimulator::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kStopTimeoutMs)) {
        process.kill();
        process.waitForFinished(kStopTimeoutMs);
    }
}

double BenchSimulator::cpuSeconds() const
{
    QFile stat(QString("/proc/%1/stat").arg(process.processId()));
    if (process.state() == QProcess::NotRunning || !stat.open(QIODevice::ReadOnly))
        return 0;
    // Fields after the parenthesised name: state is field 3, utime 14, stime 15.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    constexpr int kUtime = 14 - 3;
    constexpr int kStime = 15 - 3;
    if (fields.size() <= kStime)
        return 0;
    return double(fields[kUtime].toLongLong() + fields[kStime].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

bool BenchSimulator::waitForEvent(const QByteArray& prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (takeLines(prefix))
            return true;
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
}

// Consumes the complete lines read so far; true when one starts with `prefix`.
bool BenchSimulator::takeLines(const QByteArray& prefix)
{
    pending += process.readAllStandardOutput();
    bool found = false;
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
        found = found || pending.first(end).startsWith(prefix);
        pending.remove(0, end + 1);
    }
    return found;
}
