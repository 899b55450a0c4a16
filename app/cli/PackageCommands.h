#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "PackageOptions.h"

// fwupdater-cli package keygen, create and verify.
ExitCode runPackageCommand(const Console& console, const PackageOptions& options);
