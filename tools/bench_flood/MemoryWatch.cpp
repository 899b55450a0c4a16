#include "MemoryWatch.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>

long MemoryWatch::residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

MemoryWatch::Figures MemoryWatch::run(const char* label, int seconds)
{
    Figures figures;
    figures.startKiB = figures.peakKiB = figures.endKiB = residentKiB();
    for (int second = 1; second <= seconds; ++second) {
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        figures.endKiB = residentKiB();
        figures.peakKiB = std::max(figures.peakKiB, figures.endKiB);
        std::printf("%s %3d s: %ld KiB resident\n", label, second, figures.endKiB);
        std::fflush(stdout);
        if (figures.endKiB > kSafetyLimitKiB) {
            figures.aborted = true;
            break;
        }
    }
    return figures;
}
