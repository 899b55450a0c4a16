#include "ParallelOptions.h"

namespace {

constexpr int kMostUnits = 64;

std::optional<QList<int>> parseCounts(const QString& text)
{
    QList<int> counts;
    for (const QString& item : text.split(',')) {
        bool ok = false;
        const int count = item.trimmed().toInt(&ok);
        if (!ok || count < 1 || count > kMostUnits)
            return std::nullopt;
        counts << count;
    }
    return counts;
}

bool parsePositive(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0;
}

} // namespace

const char* ParallelOptions::usage()
{
    return "usage: bench_parallel [--units LIST] [--runs R] [--image-kib K] [--history URL] [--no-all] [--bin DIR]\n"
           "  --units LIST   unit counts, comma-separated (default 1,2,4,8)\n"
           "  --runs R       runs per unit count, averaged (default 1)\n"
           "  --image-kib K  image size in KiB (default 256)\n"
           "  --history URL  the history the CLI records into (off, sqlite:PATH, postgresql://...)\n"
           "  --no-all       plain \"update\" instead of \"update --all\" (one unit only)\n"
           "  --bin DIR      where fwupdater-cli and lumavex-unit-sim are (default: beside this program)\n";
}

std::optional<ParallelOptions> ParallelOptions::parse(const QStringList& arguments, const QString& binFolder)
{
    ParallelOptions options;
    options.binFolder = binFolder;
    bool countsGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& name = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (name == "--no-all") {
            options.all = false;
        } else if (name == "--units" && hasValue) {
            const auto counts = parseCounts(arguments[++i]);
            ok = counts.has_value();
            countsGiven = true;
            if (ok)
                options.unitCounts = *counts;
        } else if (name == "--runs" && hasValue) {
            ok = parsePositive(arguments[++i], options.runs);
        } else if (name == "--image-kib" && hasValue) {
            ok = parsePositive(arguments[++i], options.imageKib);
        } else if (name == "--history" && hasValue) {
            options.history = arguments[++i];
        } else if (name == "--bin" && hasValue) {
            options.binFolder = arguments[++i];
        } else {
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    // Without --all the CLI refuses more than one unit.
    if (!options.all && !countsGiven)
        options.unitCounts = {1};
    if (!options.all && options.unitCounts != QList<int>{1})
        return std::nullopt;
    return options;
}
