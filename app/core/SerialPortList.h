#pragma once

#include "SerialPortEntry.h"

#include <QList>

// The system's serial ports in enumeration order, followed by the simulated
// units that are present.
QList<SerialPortEntry> listSerialPorts();
