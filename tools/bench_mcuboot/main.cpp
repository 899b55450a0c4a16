// Bench run: uploads a 256 KiB image with McubootSerialUpdater to the unit
// simulator on a pseudo-terminal paced like a 921600 baud line, and prints how
// close the upload comes to the line and to its own fixed waits.
//   bench_mcuboot [--runs N] [--simulator PATH]
#include "BenchFigures.h"
#include "BenchFiles.h"
#include "BenchSimulator.h"
#include "UploadBenchRun.h"
#include "UploadWireModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kBaudRate = 921600;
constexpr int kBitsPerByte = 10;
constexpr qsizetype kImageBytes = 256 * 1024;
constexpr int kDefaultRuns = 3;
constexpr int kImageCompleteWaitMs = 2000;

// One run against a fresh simulator; empty when anything failed.
std::optional<UploadBenchRun::Measurement> runOnce(const QString& simulatorPath, const QByteArray& image)
{
    QTemporaryDir folder;
    const QString imagePath = QDir(folder.path()).filePath("image.bin");
    if (!folder.isValid() || !bench_files::write(imagePath, image)) {
        std::fprintf(stderr, "cannot write the image file\n");
        return std::nullopt;
    }
    BenchSimulator simulator(simulatorPath, folder.path(), kBaudRate);
    QString error;
    if (!simulator.start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return std::nullopt;
    }
    auto measured = UploadBenchRun(simulator.linkPath(), imagePath, kBaudRate).run(error);
    if (!measured) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return std::nullopt;
    }
    const QByteArray complete = "image-complete " + QByteArray::number(image.size());
    if (!simulator.waitForEvent(complete, kImageCompleteWaitMs) || bench_files::read(simulator.imagePath()) != image) {
        std::fprintf(stderr, "the unit did not receive the image intact\n");
        return std::nullopt;
    }
    return measured;
}

struct Options {
    int runs = kDefaultRuns;
    QString simulator;
};

std::optional<Options> parseOptions(const QStringList& arguments)
{
    Options options;
    options.simulator = QDir(QCoreApplication::applicationDirPath()).filePath("lumavex-unit-sim");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const bool hasValue = i + 1 < arguments.size();
        if (arguments[i] == "--runs" && hasValue)
            options.runs = arguments[++i].toInt();
        else if (arguments[i] == "--simulator" && hasValue)
            options.simulator = arguments[++i];
        else
            return std::nullopt;
    }
    if (options.runs < 1)
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const std::optional<Options> options = parseOptions(application.arguments());
    if (!options) {
        std::fprintf(stderr, "usage: bench_mcuboot [--runs N] [--simulator PATH]\n");
        return 2;
    }
    const QByteArray image = bench_files::makeImage(kImageBytes);
    const UploadWireModel model(image, kBaudRate, kBitsPerByte);
    std::printf("line %d baud, %d bits a byte: %.0f bytes/s, %.0f bytes/s of image after base64 before framing\n",
                kBaudRate, kBitsPerByte, double(kBaudRate) / kBitsPerByte, double(kBaudRate) / kBitsPerByte * 3 / 4);
    bool allMet = true;
    for (int run = 1; run <= options->runs; ++run) {
        const auto measured = runOnce(options->simulator, image);
        if (!measured)
            return 1;
        const BenchFigures figures(model, image.size(), *measured);
        figures.print(run);
        allMet = allMet && figures.meetsGoals();
        std::fflush(stdout);
    }
    std::printf("goals (within %.0f %% of the best time, CPU under %.0f %%): %s\n",
                100.0 * (BenchFigures::kBestTimeGoal - 1), 100.0 * BenchFigures::kCpuShareGoal,
                allMet ? "met in every run" : "missed");
    return 0;
}
