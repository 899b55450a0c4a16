#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of bench_parallel.
struct ParallelOptions {
    QList<int> unitCounts{1, 2, 4, 8};
    int runs = 1;
    int imageKib = 256;
    // Plain "update" in place of "update --all": only for one unit, to check
    // the bench itself against a CLI without --all.
    bool all = true;
    QString binFolder;
    // --history URL for the CLI (off, sqlite:PATH, postgresql://...); empty: the CLI's default file.
    QString history;

    static const char* usage();
    // Empty when the arguments are not understood.
    static std::optional<ParallelOptions> parse(const QStringList& arguments, const QString& binFolder);
};
