#pragma once

#include <QtGlobal>

// Keeps the Qt message log quiet for the length of a fuzz run: the code under
// test warns about nearly every input, and printing would be most of the work.
inline void quietMessages()
{
    static const bool installed =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)installed;
}
