#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One DFU device line of a "dfu-util -l" listing: its "vvvv:pppp" identifier
// pair and, where the line names one, its USB path (path="1-1").
struct DfuListingEntry {
    QString identifier;
    QString path;
};

// Every line that carries a bracketed identifier pair, in line order.
QList<DfuListingEntry> parseDfuEntries(const QString& output);

// "vvvv:pppp" for every line of a "dfu-util -l" listing that carries a
// bracketed identifier pair, in line order.
QStringList parseDfuListing(const QString& output);

// Runs the tool with "-l -a0", waiting at most timeoutMs, and parses what it
// printed. A missing or failing tool gives an empty list.
QList<DfuListingEntry> runDfuEntryListing(const QString& toolPath, int timeoutMs = 30000);
QStringList runDfuListing(const QString& toolPath, int timeoutMs = 30000);
