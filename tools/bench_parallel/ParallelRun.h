#pragma once

#include "ParallelOptions.h"
#include "RunFigures.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One run: `units` simulated MCUboot units on their own pseudo-terminals, a
// Resources folder for them, and fwupdater-cli updating them all at once.
// Checks that every unit reported done and holds the image.
class ParallelRun {
public:
    static constexpr int kBaudRate = 921600;
    static constexpr int kModelId = 7;
    static constexpr int kCliTimeoutSeconds = 600;
    static constexpr int kImageCompleteWaitMs = 2000;

    ParallelRun(const ParallelOptions& options, const QByteArray& image);

    // Empty, with `error` set, when anything failed; the run's folder is then
    // kept and named in `error`.
    std::optional<RunFigures> run(int units, QString& error) const;

private:
    QStringList cliArguments(const QString& resources, const QString& log) const;

    const ParallelOptions& options;
    const QByteArray& image;
};
