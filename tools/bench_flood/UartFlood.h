#pragma once

#include "MemoryWatch.h"

#include <optional>

// The UART bridge's port on a pseudo-terminal whose other end writes noise as
// fast as it is taken, while no bootloader command waits for an answer.
class UartFlood {
public:
    static std::optional<MemoryWatch::Figures> run(int seconds);
};
