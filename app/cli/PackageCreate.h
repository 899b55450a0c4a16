#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "PackageOptions.h"

// fwupdater-cli package create: checks the image, then writes a signed package.
ExitCode runPackageCreate(const Console& console, const PackageOptions& options);
