#pragma once

#include "UploadBenchRun.h"
#include "UploadWireModel.h"

#include <QByteArray>

// The figures of one upload against the line model, and their printout.
class BenchFigures {
public:
    static constexpr double kBestTimeGoal = 1.10; // within 10 % of the best time
    static constexpr double kCpuShareGoal = 0.10; // under 10 % of the wall time

    BenchFigures(const UploadWireModel& model, qsizetype imageBytes, const UploadBenchRun::Measurement& measured);

    double bytesPerSecond() const;
    double linkLimitRatio() const;
    double bestTimeRatio() const;
    double cpuShare() const;
    bool meetsGoals() const;

    void print(int run) const;

private:
    void printExchanges() const;

    const UploadWireModel& model;
    qsizetype imageBytes;
    UploadBenchRun::Measurement measured;
};
