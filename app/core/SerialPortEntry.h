#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// One serial port as unit detection sees it: the name to open and the USB
// identifiers the port reports, if any.
struct SerialPortEntry {
    QString portName;
    std::optional<std::uint16_t> vid;
    std::optional<std::uint16_t> pid;
};
