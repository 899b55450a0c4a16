#include "UnitBoard.h"

UnitBoard::UnitBoard(const Console& out) : console(out), terminal(Console::outputIsTerminal() && !out.isJson()) {}

void UnitBoard::show(const QString& port, const QString& text)
{
    const QString labelled = QStringLiteral("%1: %2").arg(port, text);
    if (!terminal) {
        console.line(labelled);
        return;
    }
    const qsizetype row = ports.indexOf(port);
    if (row < 0) {
        // A new unit gets the line below the others; the cursor stays under the last one.
        ports.append(port);
        console.line(labelled);
        return;
    }
    redraw(row, labelled);
}

// Up to the unit's line, replace it, and back down below the last line.
void UnitBoard::redraw(qsizetype row, const QString& text) const
{
    const qsizetype up = ports.size() - row;
    console.raw(QStringLiteral("\033[%1A\r\033[K%2\033[%1B\r").arg(up).arg(text));
}
