#include "BenchFigures.h"

#include <algorithm>
#include <cstdio>

BenchFigures::BenchFigures(const UploadWireModel& model, qsizetype imageBytes,
                           const UploadBenchRun::Measurement& measured)
    : model(model), imageBytes(imageBytes), measured(measured)
{
}

double BenchFigures::bytesPerSecond() const
{
    return static_cast<double>(imageBytes) / measured.wallSeconds;
}

// Share of what the line could carry if requests and answers followed each
// other with no gap at all.
double BenchFigures::linkLimitRatio() const
{
    return model.linkLimitSeconds() / measured.wallSeconds;
}

// Measured time over the best time: 1.00 is as fast as the fixed waits allow.
double BenchFigures::bestTimeRatio() const
{
    return measured.wallSeconds / model.bestSeconds();
}

double BenchFigures::cpuShare() const
{
    return (measured.userCpuSeconds + measured.systemCpuSeconds) / measured.wallSeconds;
}

bool BenchFigures::meetsGoals() const
{
    return bestTimeRatio() <= kBestTimeGoal && cpuShare() < kCpuShareGoal;
}

void BenchFigures::print(int run) const
{
    std::printf("run %d: %lld image bytes in %.3f s = %.0f bytes/s\n", run, static_cast<long long>(imageBytes),
                measured.wallSeconds, bytesPerSecond());
    std::printf("  link limit %.3f s (%.0f bytes/s): reached %.1f %%\n", model.linkLimitSeconds(),
                static_cast<double>(imageBytes) / model.linkLimitSeconds(), 100.0 * linkLimitRatio());
    std::printf("  best time %.3f s: measured/best = %.3f (goal <= %.2f: %s); with the post-flush sleep under the "
                "request's line time the best is %.3f s (ratio %.3f)\n",
                model.bestSeconds(), bestTimeRatio(), kBestTimeGoal, bestTimeRatio() <= kBestTimeGoal ? "met" : "MISSED",
                model.overlappedBestSeconds(), measured.wallSeconds / model.overlappedBestSeconds());
    std::printf("  CPU user %.3f s + sys %.3f s = %.2f %% of wall (goal < %.0f %%: %s)\n", measured.userCpuSeconds,
                measured.systemCpuSeconds, 100.0 * cpuShare(), 100.0 * kCpuShareGoal,
                cpuShare() < kCpuShareGoal ? "met" : "MISSED");
    printExchanges();
}

void BenchFigures::printExchanges() const
{
    std::vector<double> sorted = measured.exchangeMs;
    if (sorted.empty())
        return;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double fraction) {
        return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
    };
    const UploadWireModel::Exchange& full = model.exchanges().at(std::min<std::size_t>(1, model.exchanges().size() - 1));
    std::printf("  %zu exchanges (request %lld + answer %lld bytes on the line; model %.2f ms each): "
                "min %.2f, median %.2f, p90 %.2f, max %.2f ms\n",
                sorted.size(), static_cast<long long>(full.requestBytes), static_cast<long long>(full.responseBytes),
                model.bestExchangeMs(full), sorted.front(), at(0.5), at(0.9), sorted.back());
}
