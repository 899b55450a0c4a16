// Bench run: a hostile unit floods the line of each serial back-end for a
// while (60 s by default) and the process's resident memory is printed every
// second, then the start, peak and end figures.
//   bench_flood [--seconds N] [--simulator PATH]
#include "McubootFlood.h"
#include "UartFlood.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

constexpr int kDefaultSeconds = 60;

void print(const char* label, const std::optional<MemoryWatch::Figures>& figures)
{
    if (!figures) {
        std::printf("%-8s run failed\n", label);
        return;
    }
    std::printf("%-8s start %ld KiB, peak %ld KiB, end %ld KiB, growth %+ld KiB%s\n", label, figures->startKiB,
                figures->peakKiB, figures->endKiB, figures->endKiB - figures->startKiB,
                figures->aborted ? " (stopped at the 1 GiB safety limit)" : "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int seconds = kDefaultSeconds;
    QString simulator = QDir(QCoreApplication::applicationDirPath()).filePath("lumavex-unit-sim");
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--seconds")
            seconds = arguments[i + 1].toInt();
        else if (arguments[i] == "--simulator")
            simulator = arguments[i + 1];
    }
    const auto mcuboot = McubootFlood::run(simulator, seconds);
    const auto uart = UartFlood::run(seconds);
    std::printf("flood of %d s on each serial back-end:\n", seconds);
    print("mcuboot", mcuboot);
    print("uart", uart);
    return mcuboot && uart ? 0 : 1;
}
