#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "PackageOptions.h"

// fwupdater-cli package verify: exit 0 when the package is valid, 2 when not.
ExitCode runPackageVerify(const Console& console, const PackageOptions& options);
