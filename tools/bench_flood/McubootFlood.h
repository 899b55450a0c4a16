#pragma once

#include "MemoryWatch.h"

#include <QString>
#include <optional>

// An MCUboot unit that answers the identity requests and then floods the line
// with noise from the first upload chunk on: the upload fails, the port stays
// open, and the noise keeps coming while the back-end sits idle.
class McubootFlood {
public:
    static std::optional<MemoryWatch::Figures> run(const QString& simulatorPath, int seconds);
};
