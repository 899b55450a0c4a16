#pragma once

#include <QString>
#include <QStringList>

// "vvvv:pppp" for every line of a "dfu-util -l" listing that carries a
// bracketed identifier pair, in line order.
QStringList parseDfuListing(const QString& output);

// Runs the tool with "-l -a0", waiting at most timeoutMs, and parses what it
// printed. A missing or failing tool gives an empty list.
QStringList runDfuListing(const QString& toolPath, int timeoutMs = 30000);
