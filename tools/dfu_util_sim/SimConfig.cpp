#include "SimConfig.h"

#include <cstdlib>
#include <fstream>

SimConfig::SimConfig()
{
    const char* path = std::getenv("DFU_SIM_CONFIG");
    if (path == nullptr)
        return;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos && line[0] != '#')
            fileValues[line.substr(0, equals)] = line.substr(equals + 1);
    }
}

std::optional<std::string> SimConfig::text(const std::string& key) const
{
    if (const char* value = std::getenv(key.c_str()))
        return std::string(value);
    const auto found = fileValues.find(key);
    if (found != fileValues.end())
        return found->second;
    return std::nullopt;
}

std::string SimConfig::text(const std::string& key, const std::string& fallback) const
{
    return text(key).value_or(fallback);
}

long SimConfig::number(const std::string& key, long fallback) const
{
    return toNumber(text(key).value_or(std::string()), fallback);
}

long SimConfig::toNumber(const std::string& value, long fallback)
{
    if (value.empty())
        return fallback;
    char* end = nullptr;
    const long parsed = std::strtol(value.c_str(), &end, 0);
    return *end == '\0' ? parsed : fallback;
}
