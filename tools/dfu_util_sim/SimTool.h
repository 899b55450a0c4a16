#pragma once

#include "SimArguments.h"
#include "SimConfig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Behaves like dfu-util 0.11 towards the STM32 DfuSe units it lists, with the
// faults a test asks for. Like dfu-util, a transfer goes to exactly one unit:
// the one with the -d identifiers, or the one at the -p path among several.
// Returns the process exit code.
class SimTool {
public:
    SimTool(const SimConfig& config, const SimArguments& arguments);

    int run();

private:
    int list();
    int download();
    int upload();
    // DfuSe command mode: -s ADDRESS:leave without -D or -U.
    int leave();
    // The unit's flash as downloads stored it, kept in files beside the
    // DFU_SIM_DOWNLOAD_COPY file so that later runs see it.
    std::string memoryPath(const std::string& suffix) const;
    void rememberDownload(std::uint32_t address, bool leftDfuMode) const;
    bool hasLeftDfuMode() const;
    std::optional<std::vector<unsigned char>> readBack(std::uint32_t address, std::uint64_t size) const;
    int usage(const std::string& message) const;
    int fail(const std::string& message, int exitCode) const;
    // The exit code when the command line or the unit stops a transfer before
    // it starts; faultKey names the setting of this transfer's faults.
    std::optional<int> refuseTransfer(const SimDfuseSpec& target, const std::string& faultKey);
    // Picks the unit a transfer goes to; the exit code when there is not exactly one.
    std::optional<int> selectUnit();
    // A setting that may differ per unit: "a,b,c" gives unit i the ith value,
    // a single value holds for every unit.
    std::string unitText(const std::string& key, const std::string& fallback) const;
    void printDeviceOpening(const std::string& alternate) const;
    void printBars(const char* description, std::uint64_t total, long durationMs) const;
    int downloadImage(const std::vector<char>& image, const SimDfuseSpec& target);
    void emitNoise(long durationMs) const;
    std::vector<unsigned char> otpImage(std::uint64_t size) const;
    long steps() const;

    const SimConfig& config;
    const SimArguments& arguments;
    std::size_t unitIndex = 0;
    std::string unitPath = "1-1";
};
