#pragma once

#include "AttemptRecord.h"
#include "HistoryOptions.h"

#include <QList>

class Console;

// The history command's output: a table for a person, one JSON object per
// row with --json, or CSV (RFC 4180, with a header row) with --csv.
class HistoryPrinter {
public:
    static void print(const Console& console, HistoryOptions::Format format, const QList<AttemptRecord>& rows);

    static QJsonObject json(const AttemptRecord& row);
    static QStringList table(const QList<AttemptRecord>& rows);
    static QString csvHeader();
    static QString csvRow(const AttemptRecord& row);
};
