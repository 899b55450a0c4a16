#include "SimTool.h"

#include "SimFaults.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitNoInput = 66;
constexpr int kExitIoError = 74;
constexpr int kBarWidth = 25;
constexpr std::size_t kEntrySize = 16;
constexpr unsigned char kModelIdKeyBytes[] = {0x11, 0x47, 0x23, 0x01};

void printBanner()
{
    std::printf("dfu-util 0.11\n\n"
                "Copyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\n"
                "Copyright 2010-2021 Tormod Volden and Stefan Schmidt\n"
                "This program is Free Software and has ABSOLUTELY NO WARRANTY\n"
                "Please report bugs to http://sourceforge.net/p/dfu-util/tickets/\n\n");
}

// The progress bar as dfu-util draws it: a carriage return, no line feed until done.
void printBar(const char* description, std::uint64_t done, std::uint64_t total)
{
    const std::uint64_t max = total == 0 ? 1 : total;
    const std::uint64_t filled = std::min<std::uint64_t>(kBarWidth * done / max, kBarWidth);
    std::string bar(kBarWidth, ' ');
    std::fill_n(bar.begin(), filled, '=');
    std::printf("\r%s\t[%s] %3llu%% %12llu bytes", description, bar.c_str(),
                static_cast<unsigned long long>(100 * done / max), static_cast<unsigned long long>(done));
    if (filled == kBarWidth)
        std::printf("\n%s done.\n", description);
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::string item;
    std::istringstream stream(text);
    while (std::getline(stream, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

std::string pathOfUnit(std::size_t index)
{
    return "1-" + std::to_string(index + 1);
}

bool sameIdentifiers(const std::string& listed, const std::string& wanted)
{
    return wanted.empty() || std::equal(listed.begin(), listed.end(), wanted.begin(), wanted.end(),
                                        [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// Every occurrence of "{path}" in the text, replaced by the unit's path.
std::string withUnitPath(std::string text, const std::string& path)
{
    const std::string placeholder = "{path}";
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at))
        text.replace(at, placeholder.size(), path);
    return text;
}

bool readFile(const std::string& path, std::vector<char>& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

SimTool::SimTool(const SimConfig& simConfig, const SimArguments& simArguments)
    : config(simConfig), arguments(simArguments)
{
}

int SimTool::run()
{
    printBanner();
    if (!arguments.error.empty())
        return usage(arguments.error);
    switch (arguments.mode) {
    case SimArguments::Mode::List:
        return list();
    case SimArguments::Mode::Download:
        return download();
    case SimArguments::Mode::Upload:
        return upload();
    case SimArguments::Mode::Version:
        return 0;
    case SimArguments::Mode::None:
        break;
    }
    // dfu-util runs DfuSe commands without a transfer when -s is given.
    if (!arguments.dfuseSpec.empty())
        return leave();
    return usage("You need to specify one of -D or -U");
}

int SimTool::usage(const std::string& message) const
{
    std::fprintf(stderr, "dfu-util: %s\nUsage: dfu-util [options] ...\n", message.c_str());
    return kExitUsage;
}

int SimTool::fail(const std::string& message, int exitCode) const
{
    std::fprintf(stderr, "dfu-util: %s\n", message.c_str());
    return exitCode;
}

long SimTool::steps() const
{
    return std::max(1L, config.number("DFU_SIM_STEPS", 8));
}

int SimTool::list()
{
    const std::string fault = config.text("DFU_SIM_LIST_FAULT", "none");
    if (fault == "hang")
        sim_faults::hang();
    if (fault == "crash")
        sim_faults::crash(false);
    if (fault == "exit")
        return fail("Cannot open DFU device", kExitIoError);
    sim_faults::sleepMs(config.number("DFU_SIM_LIST_MS", 0));
    const std::vector<std::string> units = splitList(config.text("DFU_SIM_DEVICES", ""));
    // Builds of dfu-util before paths were listed leave the field out.
    const bool withPaths = config.text("DFU_SIM_LIST_PATHS", "yes") != "no";
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::string path = withPaths ? "path=\"" + pathOfUnit(i) + "\", " : std::string();
        std::printf("Found DFU: [%s] ver=2200, devnum=%zu, cfg=1, intf=0, %salt=0, "
                    "name=\"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg\", serial=\"SIM%08zu\"\n",
                    units[i].c_str(), 10 + i, path.c_str(), 1 + i);
    }
    return 0;
}

// With no unit listed, a single unit at "1-1" answers whatever it is asked.
std::optional<int> SimTool::selectUnit()
{
    const std::vector<std::string> units = splitList(config.text("DFU_SIM_DEVICES", ""));
    if (units.empty())
        return std::nullopt;
    std::vector<std::size_t> matching;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (sameIdentifiers(units[i], arguments.device) && (arguments.path.empty() || arguments.path == pathOfUnit(i)))
            matching.push_back(i);
    }
    if (matching.empty())
        return fail("No DFU capable USB device available", kExitIoError);
    if (matching.size() > 1)
        return fail("More than one DFU capable USB device found! Try `--list' and specify the serial number or "
                    "disconnect all but one device",
                    kExitIoError);
    unitIndex = matching.front();
    unitPath = pathOfUnit(unitIndex);
    return std::nullopt;
}

std::string SimTool::unitText(const std::string& key, const std::string& fallback) const
{
    const std::vector<std::string> values = splitList(config.text(key, fallback));
    if (values.empty())
        return fallback;
    return values.size() == 1 ? values.front() : values.at(std::min(unitIndex, values.size() - 1));
}

void SimTool::printDeviceOpening(const std::string& alternate) const
{
    std::printf("Opening DFU capable USB device...\n"
                "Device ID %s\n"
                "Device DFU version 011a\n"
                "Claiming USB DFU Interface...\n"
                "Setting Alternate Interface #%s ...\n"
                "Determining device status...\n"
                "DFU state(2) = dfuIDLE, status(0) = No error condition is present\n"
                "DFU mode device DFU version 011a\n"
                "Device returned transfer size 2048\n"
                "DfuSe interface name: \"Internal Flash  \"\n",
                arguments.device.c_str(), alternate.c_str());
}

void SimTool::printBars(const char* description, std::uint64_t total, long durationMs) const
{
    const long count = steps();
    for (long step = 1; step <= count; ++step) {
        sim_faults::sleepMs(durationMs / count);
        printBar(description, total * static_cast<std::uint64_t>(step) / static_cast<std::uint64_t>(count), total);
    }
}

std::optional<int> SimTool::refuseTransfer(const SimDfuseSpec& target, const std::string& faultKey)
{
    if (!target.error.empty())
        return usage(target.error);
    if (const std::optional<int> refused = selectUnit())
        return refused;
    if (unitText(faultKey, "none") == "nodevice")
        return fail("No DFU capable USB device available", kExitIoError);
    return std::nullopt;
}

int SimTool::download()
{
    const SimDfuseSpec target = SimDfuseSpec::parse(arguments.dfuseSpec);
    if (const std::optional<int> refused = refuseTransfer(target, "DFU_SIM_DOWNLOAD_FAULT"))
        return *refused;
    const std::string fault = unitText("DFU_SIM_DOWNLOAD_FAULT", "none");
    std::vector<char> image;
    if (!readFile(arguments.file, image))
        return fail("Could not open file " + arguments.file + " for reading: No such file or directory", kExitNoInput);
    std::fprintf(stderr, "dfu-util: Warning: Invalid DFU suffix signature\n"
                         "dfu-util: A valid DFU suffix will be required in a future dfu-util release\n");
    printDeviceOpening(arguments.alternate);
    if (fault == "hang")
        sim_faults::hang();
    const long durationMs = config.number("DFU_SIM_DOWNLOAD_MS", 400);
    if (fault == "silent") {
        sim_faults::sleepMs(durationMs);
        return 0;
    }
    if (fault == "noise") {
        emitNoise(durationMs);
        return 0;
    }
    return downloadImage(image, target);
}

int SimTool::downloadImage(const std::vector<char>& image, const SimDfuseSpec& target)
{
    const std::string fault = unitText("DFU_SIM_DOWNLOAD_FAULT", "none");
    std::printf("Downloading element to address = 0x%08x, size = %zu\n", target.address, image.size());
    printBars("Erase   ", image.size(), config.number("DFU_SIM_ERASE_MS", 200));
    // A marginal flash cell: the download goes well, one byte is stored changed.
    std::vector<char> stored = image;
    if (fault == "corrupt" && !stored.empty())
        stored[stored.size() / 2] = static_cast<char>(stored[stored.size() / 2] ^ 0x5A);
    std::ofstream copy;
    if (const auto copyPath = config.text("DFU_SIM_DOWNLOAD_COPY"))
        copy.open(withUnitPath(*copyPath, unitPath), std::ios::binary | std::ios::trunc);
    const long count = steps();
    const long durationMs = config.number("DFU_SIM_DOWNLOAD_MS", 400);
    std::size_t written = 0;
    for (long step = 1; step <= count; ++step) {
        if (step > count / 2 && fault == "stall") {
            std::fflush(stdout);
            sim_faults::hang();
        }
        if (step > count / 2 && (fault == "crash" || fault == "abort"))
            sim_faults::crash(fault == "abort");
        if (step > count / 2 && fault == "exit")
            return fail("Error during download (LIBUSB_ERROR_IO)", static_cast<int>(config.number("DFU_SIM_EXIT_CODE", kExitIoError)));
        sim_faults::sleepMs(durationMs / count);
        const std::size_t upTo = image.size() * static_cast<std::size_t>(step) / static_cast<std::size_t>(count);
        copy.write(stored.data() + written, static_cast<std::streamsize>(upTo - written));
        copy.flush();
        written = upTo;
        printBar("Download", written, image.size());
    }
    std::printf("File downloaded successfully\n");
    const bool leave = std::find(target.modifiers.begin(), target.modifiers.end(), "leave") != target.modifiers.end();
    // Some units manifest and reset after any download, leave or not.
    rememberDownload(target.address, leave || fault == "leave-anyway");
    if (!leave)
        return 0;
    std::printf("Submitting leave request...\n");
    if (fault == "leave-error")
        return fail("Error during download get_status", kExitIoError);
    std::printf("Transitioning to dfuMANIFEST state\n");
    return 0;
}

// Bytes of every value, line breaks and fragments of progress lines among them.
void SimTool::emitNoise(long durationMs) const
{
    const long count = steps();
    const long chunk = config.number("DFU_SIM_NOISE_BYTES", 64 * 1024) / count;
    std::uint32_t state = 12345;
    static const char* fragments[] = {"Download\t[", "]", " 99999999999%", "\r", "\n", "%", "Download ] 4"};
    for (long step = 0; step < count; ++step) {
        std::string noise;
        for (long i = 0; i < chunk; ++i) {
            state = state * 1103515245U + 12345U;
            if ((state >> 24) < 8)
                noise += fragments[(state >> 8) % std::size(fragments)];
            else
                noise += static_cast<char>(state >> 16);
        }
        std::fwrite(noise.data(), 1, noise.size(), stdout);
        sim_faults::sleepMs(durationMs / count);
    }
}

std::vector<unsigned char> SimTool::otpImage(std::uint64_t size) const
{
    std::vector<unsigned char> image(size, 0xFF);
    if (const auto source = config.text("DFU_SIM_OTP_IMAGE")) {
        std::vector<char> bytes;
        readFile(*source, bytes);
        std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), image.size()), image.begin());
        return image;
    }
    const long modelId = SimConfig::toNumber(unitText("DFU_SIM_MODEL_ID", "-1"), -1);
    if (modelId < 0)
        return image;
    unsigned char record[kEntrySize] = {};
    std::copy(std::begin(kModelIdKeyBytes), std::end(kModelIdKeyBytes), record);
    record[4] = static_cast<unsigned char>(modelId);
    const std::size_t offset = static_cast<std::size_t>(config.number("DFU_SIM_OTP_ENTRY", 31)) * kEntrySize;
    for (std::size_t i = 0; i < kEntrySize && offset + i < image.size(); ++i)
        image[offset + i] = record[i];
    return image;
}

int SimTool::upload()
{
    const SimDfuseSpec target = SimDfuseSpec::parse(arguments.dfuseSpec);
    if (const std::optional<int> refused = refuseTransfer(target, "DFU_SIM_UPLOAD_FAULT"))
        return *refused;
    // The flash of a unit that has left DFU mode is out of reach.
    if (arguments.alternate == "0" && hasLeftDfuMode())
        return fail("No DFU capable USB device available", kExitIoError);
    const std::string fault = unitText("DFU_SIM_UPLOAD_FAULT", "none");
    // dfu-util never overwrites: the file is created exclusively.
    const int fd = open(arguments.file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC, 0666);
    if (fd < 0)
        return fail("Cannot open file " + arguments.file + " for writing: " + std::strerror(errno), kExitIoError);
    printDeviceOpening(arguments.alternate);
    const std::uint64_t size = target.length.value_or(kEntrySize * 32);
    const std::vector<unsigned char> image =
        arguments.alternate == "0" ? readBack(target.address, size).value_or(std::vector<unsigned char>(size, 0xFF))
                                   : otpImage(size);
    const std::size_t half = image.size() / 2;
    if (fault == "hang" || fault == "crash" || fault == "exit") {
        [[maybe_unused]] const auto partial = write(fd, image.data(), half);
        if (fault == "hang")
            sim_faults::hang();
        if (fault == "crash")
            sim_faults::crash(false);
        close(fd);
        return fail("Error during upload (LIBUSB_ERROR_IO)", kExitIoError);
    }
    // A tool that claims success over a file of the wrong size, or writes it
    // all and still fails.
    const std::size_t length = fault == "short-file" ? half : fault == "long-file" ? image.size() + kEntrySize
                                                                                    : image.size();
    std::vector<unsigned char> content = image;
    content.resize(length, 0xFF);
    const bool whole = write(fd, content.data(), length) == static_cast<ssize_t>(length);
    close(fd);
    printBars("Upload  ", image.size(), config.number("DFU_SIM_UPLOAD_MS", 50));
    if (fault == "exit-after-file")
        return fail("Error during upload get_status", kExitIoError);
    return whole ? 0 : fail("Could not write the file", kExitIoError);
}

int SimTool::leave()
{
    const SimDfuseSpec target = SimDfuseSpec::parse(arguments.dfuseSpec);
    if (const std::optional<int> refused = refuseTransfer(target, "DFU_SIM_LEAVE_FAULT"))
        return *refused;
    if (hasLeftDfuMode())
        return fail("No DFU capable USB device available", kExitIoError);
    printDeviceOpening(arguments.alternate);
    std::printf("DfuSe command mode\n");
    if (std::find(target.modifiers.begin(), target.modifiers.end(), "leave") == target.modifiers.end())
        return 0;
    std::printf("Submitting leave request...\n");
    if (config.text("DFU_SIM_DOWNLOAD_COPY"))
        std::ofstream(memoryPath(".left")) << "left\n";
    return 0;
}

std::string SimTool::memoryPath(const std::string& suffix) const
{
    return withUnitPath(config.text("DFU_SIM_DOWNLOAD_COPY", ""), unitPath) + suffix;
}

// A download finds the unit in DFU mode; a leave, or a unit that resets on
// its own, takes it out until the next download.
void SimTool::rememberDownload(std::uint32_t address, bool leftDfuMode) const
{
    if (!config.text("DFU_SIM_DOWNLOAD_COPY"))
        return;
    std::ofstream(memoryPath(".address")) << address << '\n';
    std::remove(memoryPath(".left").c_str());
    if (leftDfuMode)
        std::ofstream(memoryPath(".left")) << "left\n";
}

bool SimTool::hasLeftDfuMode() const
{
    return config.text("DFU_SIM_DOWNLOAD_COPY") && std::ifstream(memoryPath(".left")).good();
}

// What the last download stored at the address; erased flash (0xFF) around it.
std::optional<std::vector<unsigned char>> SimTool::readBack(std::uint32_t address, std::uint64_t size) const
{
    std::uint32_t stored = 0;
    std::vector<char> bytes;
    if (!config.text("DFU_SIM_DOWNLOAD_COPY") || !(std::ifstream(memoryPath(".address")) >> stored) ||
        !readFile(memoryPath(""), bytes))
        return std::nullopt;
    std::vector<unsigned char> memory(size, 0xFF);
    for (std::uint64_t i = 0; i < size; ++i) {
        const std::uint64_t at = std::uint64_t{address} + i;
        if (at >= stored && at - stored < bytes.size())
            memory[i] = static_cast<unsigned char>(bytes[at - stored]);
    }
    return memory;
}
