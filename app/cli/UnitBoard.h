#pragma once

#include "Console.h"

#include <QString>
#include <QStringList>

// Several units' status, one line each. On a terminal every unit keeps its
// own line, redrawn in place; otherwise each status is a plain line that
// names its unit. Prints nothing with --json.
class UnitBoard {
public:
    explicit UnitBoard(const Console& console);

    void show(const QString& port, const QString& text);
    bool isTerminal() const { return terminal; }

private:
    void redraw(qsizetype row, const QString& text) const;

    const Console& console;
    bool terminal;
    QStringList ports; // in order of their first line
};
