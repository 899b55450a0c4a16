#pragma once

#include "HistoryFilter.h"

#include <QString>
#include <QStringList>

class QCommandLineOption;
class QCommandLineParser;

// The options of the history command: which rows, and how to print them.
struct HistoryOptions {
    enum class Format { Table, Json, Csv };

    bool sync = false; // "history sync": send the rows that wait
    HistoryFilter filter;
    Format format = Format::Table;

    static QList<QCommandLineOption> options();
    // `arguments` follow the word "history"; fills `error` when they cannot be used.
    static bool read(const QCommandLineParser& parser, const QStringList& arguments, HistoryOptions& options,
                     QString& error);
};
