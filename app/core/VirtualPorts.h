#pragma once

#include "SerialPortEntry.h"

#include <QList>
#include <QString>

// Simulated units announced through FWUPDATER_VIRTUAL_PORTS, a ';'-separated
// list of PATH=VVVV:PPPP entries. They are listed beside the system's ports so
// that the whole flow can run against the unit simulator.
class VirtualPorts {
public:
    static constexpr const char* kEnvironmentVariable = "FWUPDATER_VIRTUAL_PORTS";

    // Entries that do not parse are skipped with a warning.
    static QList<SerialPortEntry> parse(const QString& text);
    // The entries of the environment variable whose path exists right now.
    static QList<SerialPortEntry> present();
};
