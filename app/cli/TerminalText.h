#pragma once

#include <QString>

// Text that came from a unit, fit to print on a terminal: every control
// character (escape sequences, carriage returns, bells) becomes '?', so a unit
// cannot move the cursor, rewrite the screen or retitle the window.
QString terminalText(const QString& fromUnit);
