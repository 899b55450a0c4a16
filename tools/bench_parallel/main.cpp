// Bench run: fwupdater-cli updates 1, 2, 4 and 8 simulated MCUboot units at
// once (921600 baud, 256 KiB each) and the figures show how the wall time
// grows with the number of units and what the CLI costs in CPU.
//   bench_parallel [--units LIST] [--runs R] [--image-kib K] [--no-all] [--bin DIR]
#include "BenchFiles.h"
#include "FiguresTable.h"
#include "ParallelOptions.h"
#include "ParallelRun.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const auto options = ParallelOptions::parse(application.arguments(), QCoreApplication::applicationDirPath());
    if (!options) {
        std::fputs(ParallelOptions::usage(), stderr);
        return 2;
    }
    const QByteArray image = bench_files::makeImage(qsizetype(options->imageKib) * 1024);
    std::printf("fwupdater-cli update%s --json: %d KiB image to each simulated MCUboot unit at %d baud, "
                "%d run(s) per unit count\n",
                options->all ? " --all" : "", options->imageKib, ParallelRun::kBaudRate, options->runs);
    std::fflush(stdout);
    const ParallelRun bench(*options, image);
    FiguresTable table;
    for (const int units : options->unitCounts) {
        for (int run = 1; run <= options->runs; ++run) {
            QString error;
            const auto figures = bench.run(units, error);
            if (!figures) {
                std::fprintf(stderr, "%d unit(s), run %d: %s\n", units, run, qPrintable(error));
                return 1;
            }
            std::fprintf(stderr, "%d unit(s), run %d: %.2f s\n", units, run, figures->wallSeconds);
            std::fflush(stderr);
            table.add(*figures);
        }
    }
    table.print();
    std::fflush(stdout);
    return 0;
}
