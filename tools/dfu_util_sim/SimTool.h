#pragma once

#include "SimArguments.h"
#include "SimConfig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Behaves like dfu-util 0.11 towards a single STM32 DfuSe unit, with the
// faults a test asks for. Returns the process exit code.
class SimTool {
public:
    SimTool(const SimConfig& config, const SimArguments& arguments);

    int run();

private:
    int list();
    int download();
    int upload();
    int usage(const std::string& message) const;
    int fail(const std::string& message, int exitCode) const;
    // The exit code when the command line or the unit stops a transfer before it starts.
    std::optional<int> refuseTransfer(const SimDfuseSpec& target, const std::string& fault) const;
    void printDeviceOpening(const std::string& alternate) const;
    void printBars(const char* description, std::uint64_t total, long durationMs) const;
    int downloadImage(const std::vector<char>& image, const SimDfuseSpec& target);
    void emitNoise(long durationMs) const;
    std::vector<unsigned char> otpImage(std::uint64_t size) const;
    long steps() const;

    const SimConfig& config;
    const SimArguments& arguments;
};
