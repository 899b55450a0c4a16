#pragma once

#include <map>
#include <optional>
#include <string>

// The simulator's settings: each key is read from the environment first, then
// from the KEY=VALUE file named by DFU_SIM_CONFIG, if any.
class SimConfig {
public:
    SimConfig();

    std::optional<std::string> text(const std::string& key) const;
    std::string text(const std::string& key, const std::string& fallback) const;
    long number(const std::string& key, long fallback) const;
    // A decimal, hex (0x) or octal number; the fallback for anything else.
    static long toNumber(const std::string& value, long fallback);

private:
    std::map<std::string, std::string> fileValues;
};
