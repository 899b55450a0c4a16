#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "UnitFinder.h"

// Prints the units that count as connected under the configuration, one a
// line (or one "found" event each with --json). Asks no unit anything.
ExitCode runListCommand(const Console& console, const UnitFinder& finder);
