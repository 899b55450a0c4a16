#pragma once

#include "Console.h"
#include "ExitCode.h"
#include "FirmwareImage.h"
#include "StartupConfig.h"

// check-image: runs only the image check on the image the configuration
// names and prints what it found; Done when update would take the image,
// UsageOrInput when it would refuse it.
ExitCode runCheckImageCommand(const Console& console, const StartupConfig& config, const FirmwareImage& image);

