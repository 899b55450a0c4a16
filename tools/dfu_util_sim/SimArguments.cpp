#include "SimArguments.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>

namespace {

bool takesValue(const std::string& option)
{
    static const std::set<std::string> withValue = {"-d", "-p", "-a", "-s", "-D", "-U", "--device", "--path",
                                                    "--alt", "--dfuse-address", "--download", "--upload"};
    return withValue.count(option) != 0;
}

void apply(SimArguments& parsed, const std::string& option, const std::string& value)
{
    if (option == "-d" || option == "--device") {
        parsed.device = value;
    } else if (option == "-p" || option == "--path") {
        parsed.path = value;
    } else if (option == "-a" || option == "--alt") {
        parsed.alternate = value;
    } else if (option == "-s" || option == "--dfuse-address") {
        parsed.dfuseSpec = value;
    } else if (option == "-D" || option == "--download") {
        parsed.mode = SimArguments::Mode::Download;
        parsed.file = value;
    } else if (option == "-U" || option == "--upload") {
        parsed.mode = SimArguments::Mode::Upload;
        parsed.file = value;
    }
}

std::optional<unsigned long long> parseNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0)
        return std::nullopt;
    return value;
}

} // namespace

SimArguments SimArguments::parse(const std::vector<std::string>& args)
{
    SimArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "-l" || option == "--list") {
            parsed.mode = Mode::List;
        } else if (option == "-V" || option == "--version") {
            parsed.mode = Mode::Version;
        } else if (takesValue(option) && i + 1 < args.size()) {
            apply(parsed, option, args[++i]);
        } else if (option.size() > 2 && option[0] == '-' && option[1] == 'a') {
            parsed.alternate = option.substr(2);
        } else {
            parsed.error = "Unknown or incomplete option: " + option;
        }
    }
    return parsed;
}

SimDfuseSpec SimDfuseSpec::parse(const std::string& target)
{
    static const std::set<std::string> known = {"fast", "leave", "force", "mass-erase", "unprotect", "will-reset"};
    SimDfuseSpec parsed;
    std::istringstream parts(target);
    std::string token;
    std::getline(parts, token, ':');
    const auto address = parseNumber(token);
    if (!address || *address > 0xFFFFFFFFULL) {
        parsed.error = "Invalid dfuse address: " + token;
        return parsed;
    }
    parsed.address = static_cast<std::uint32_t>(*address);
    while (std::getline(parts, token, ':')) {
        if (const auto length = parseNumber(token)) {
            parsed.length = *length;
        } else if (known.count(token) != 0) {
            parsed.modifiers.push_back(token);
        } else {
            parsed.error = "Invalid dfuse modifier: " + token;
            return parsed;
        }
    }
    return parsed;
}
