// A stand-in for dfu-util 0.11 used by the tests. See SimTool for the
// behaviour and README.md for the settings.
#include "SimArguments.h"
#include "SimConfig.h"
#include "SimTool.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// One line per run, the arguments separated by tabs, so tests can check
// exactly what they were called with.
void logArguments(const SimConfig& config, const std::vector<std::string>& args)
{
    const auto logPath = config.text("DFU_SIM_LOG");
    if (!logPath)
        return;
    std::ofstream log(*logPath, std::ios::app);
    for (std::size_t i = 0; i < args.size(); ++i)
        log << (i == 0 ? "" : "\t") << args[i];
    log << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    // dfu-util writes its progress unbuffered, as the progress poll expects.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const SimConfig config;
    // On Windows a tool whose reader has gone just gets failed writes and
    // carries on; this plays that here.
    if (config.text("DFU_SIM_SIGPIPE", "default") == "ignore")
        std::signal(SIGPIPE, SIG_IGN);
    logArguments(config, args);
    const SimArguments arguments = SimArguments::parse(args);
    SimTool tool(config, arguments);
    return tool.run();
}
