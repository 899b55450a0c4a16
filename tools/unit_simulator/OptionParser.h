#pragma once

#include "SimOptions.h"

#include <optional>
#include <string>
#include <vector>

// Reads the command line into SimOptions; every option is described once in
// a table that also produces the --help text.
class OptionParser {
public:
    struct Result {
        std::optional<SimOptions> options; // empty on error or help
        bool helpRequested = false;
        std::string error;
    };

    static Result parse(const std::vector<std::string>& arguments);
    static std::string helpText();
};
