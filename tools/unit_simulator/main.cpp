#include "ByteStream.h"
#include "EventLog.h"
#include "ImageFile.h"
#include "McubootSession.h"
#include "McubootUnit.h"
#include "OptionParser.h"
#include "PtyLink.h"
#include "Stm32Bootloader.h"
#include "Stm32Memory.h"
#include "StopSignal.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

void runMcuboot(const SimOptions& options, PtyLink& link)
{
    ImageFile imageFile(options.imagePath);
    McubootUnit unit(options, imageFile);
    EventLog::event("ready {}", link.path());
    McubootSession(options, link, unit).run();
}

void runStm32(const SimOptions& options, PtyLink& link)
{
    ImageFile flashFile(options.imagePath);
    Stm32Memory memory(options.stm32, options.modelId, flashFile);
    ReceiveBudget budget(options.silentFromByte, options.unplugAfterBytes);
    ByteStream stream(link, budget);
    EventLog::event("ready {}", link.path());
    Stm32Bootloader(options, link, stream, memory).run();
}

} // namespace

int main(int argc, char** argv)
{
    const auto parsed = OptionParser::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.helpRequested) {
        std::fputs(OptionParser::helpText().c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "lumavex-unit-sim: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& options = *parsed.options;
    const StopSignal stop;
    const unsigned defaultBits = options.mode == SimMode::Stm32 ? 11 : 10;
    std::string error;
    const auto link = PtyLink::open(options.linkPath, {options.baud, options.bitsPerByte.value_or(defaultBits)}, stop, error);
    if (!link) {
        std::fprintf(stderr, "lumavex-unit-sim: %s\n", error.c_str());
        return 1;
    }
    if (options.mode == SimMode::Stm32)
        runStm32(options, *link);
    else
        runMcuboot(options, *link);
    return 0;
}
