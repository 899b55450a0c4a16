#pragma once

#include "CliOptions.h"
#include "Console.h"
#include "ExitCode.h"

// fwupdater-cli history: prints the rows of the history that update writes,
// or ("history sync") sends the rows waiting in this station's own file.
ExitCode runHistoryCommand(const Console& console, const CliOptions& options);
