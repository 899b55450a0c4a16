#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A dfu-util command line as far as the simulator understands it.
struct SimArguments {
    enum class Mode { None, List, Download, Upload, Version };

    Mode mode = Mode::None;
    std::string device;
    std::string path; // -p: the USB path of the one unit meant
    std::string alternate;
    std::string dfuseSpec;
    std::string file;
    std::string error;

    static SimArguments parse(const std::vector<std::string>& args);
};

// The -s argument: an address, then optional ":"-separated modifiers or a length.
struct SimDfuseSpec {
    std::uint32_t address = 0;
    std::optional<std::uint64_t> length;
    std::vector<std::string> modifiers;
    std::string error;

    static SimDfuseSpec parse(const std::string& target);
};
