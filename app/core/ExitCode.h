#pragma once

// The command line's exit codes; scripts rely on them, so they never change.
enum class ExitCode : int {
    Done = 0,
    UpdateFailed = 1,
    UsageOrInput = 2,
    NoUnit = 3,
    ModelRefused = 4,
    SeveralUnits = 5,
};
