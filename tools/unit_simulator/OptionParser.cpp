#include "OptionParser.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <fmt/format.h>
#include <limits>
#include <string_view>

namespace {

using Setter = std::function<bool(std::string_view value, SimOptions& options)>;

struct Option {
    std::string_view name;
    std::string_view valueName; // empty: a flag without value
    std::string_view help;
    Setter set;
};

// Decimal, or hexadecimal with a 0x prefix.
template <typename T>
std::optional<T> number(std::string_view text)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(value);
}

template <typename T>
Setter store(T SimOptions::*field)
{
    return [field](std::string_view value, SimOptions& options) {
        const auto parsed = number<typename std::remove_cvref_t<decltype(options.*field)>::value_type>(value);
        options.*field = parsed;
        return parsed.has_value();
    };
}

// "A:B" into two numbers; a missing ":B" gives `fallback` when one is allowed.
std::optional<std::pair<std::uint64_t, std::uint64_t>> pair(std::string_view text,
                                                            std::optional<std::uint64_t> fallback = {})
{
    const auto colon = text.find(':');
    const auto first = number<std::uint64_t>(text.substr(0, colon));
    const auto second = colon == std::string_view::npos ? fallback : number<std::uint64_t>(text.substr(colon + 1));
    if (!first || !second)
        return std::nullopt;
    return std::pair(*first, *second);
}

template <typename Field>
bool assign(std::optional<Field> parsed, Field& field)
{
    if (parsed)
        field = *parsed;
    return parsed.has_value();
}

const std::vector<Option>& table()
{
    static const std::vector<Option> options = {
        {"--mode", "mcuboot|stm32", "unit to play (default mcuboot)",
         [](std::string_view v, SimOptions& o) {
             o.mode = v == "stm32" ? SimMode::Stm32 : SimMode::Mcuboot;
             return v == "stm32" || v == "mcuboot";
         }},
        {"--link", "PATH", "symlink to the pseudo-terminal to create (required)",
         [](std::string_view v, SimOptions& o) { o.linkPath = v; return !v.empty(); }},
        {"--image-out", "FILE", "file kept equal to the received image (MCUboot) or the flash (STM32)",
         [](std::string_view v, SimOptions& o) { o.imagePath = v; return !v.empty(); }},
        {"--baud", "N", "pace both directions as a line of N baud (default 0: no pacing)",
         [](std::string_view v, SimOptions& o) { return assign(number<unsigned>(v), o.baud); }},
        {"--bits-per-byte", "N", "bits a byte takes on the line (default 10 MCUboot, 11 STM32)",
         [](std::string_view v, SimOptions& o) {
             o.bitsPerByte = number<unsigned>(v);
             return o.bitsPerByte && *o.bitsPerByte > 0;
         }},
        {"--write-ms", "MS", "flash write time per upload chunk or write block",
         [](std::string_view v, SimOptions& o) { return assign(number<unsigned>(v), o.writeMs); }},
        {"--unplug-after-bytes", "N", "pull the cable after N received bytes: close, remove the path, exit",
         store(&SimOptions::unplugAfterBytes)},
        {"--silent-from-byte", "N", "stop answering once N bytes have been received",
         store(&SimOptions::silentFromByte)},
        {"--model-id", "N", "model identifier in the unit's OTP (absent: none stored)",
         store(&SimOptions::modelId)},
        {"--serial-number", "TEXT", "serial number in the unit's OTP (absent: none stored)",
         [](std::string_view v, SimOptions& o) { o.serialNumber = std::string(v); return true; }},
        // MCUboot
        {"--after-reset", "serve|exit", "MCUboot: after a reset request keep serving (default) or exit",
         [](std::string_view v, SimOptions& o) {
             o.afterReset = v == "exit" ? AfterReset::Exit : AfterReset::Serve;
             return v == "exit" || v == "serve";
         }},
        {"--silent-from-request", "N", "MCUboot: answer no request from the Nth on (1: never answer)",
         [](std::string_view v, SimOptions& o) { return (o.mcuboot.silentFromRequest = number<unsigned>(v)).has_value(); }},
        {"--bad-crc-from-request", "N", "MCUboot: from the Nth request on, answer with a request-style CRC",
         [](std::string_view v, SimOptions& o) { return (o.mcuboot.badCrcFromRequest = number<unsigned>(v)).has_value(); }},
        {"--rc-at-offset", "OFF:RC", "MCUboot: answer the upload chunk at OFF with \"rc\": RC",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v);
             if (p)
                 o.mcuboot.rcAtOffset = McubootFaults::OffsetRc{static_cast<std::uint32_t>(p->first), static_cast<int>(p->second)};
             return p.has_value();
         }},
        {"--repeat-offset", "OFF[:K]", "MCUboot: answer the chunk at OFF with \"off\": OFF, K times (default for ever)",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v, 0);
             if (p)
                 o.mcuboot.repeatOffset = McubootFaults::Repeat{static_cast<std::uint32_t>(p->first), static_cast<unsigned>(p->second)};
             return p.has_value();
         }},
        {"--lower-offset", "AT:TO", "MCUboot: answer the chunk at AT once with the lower \"off\": TO",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v);
             if (p)
                 o.mcuboot.lowerOffset = McubootFaults::Rewind{static_cast<std::uint32_t>(p->first), static_cast<std::uint32_t>(p->second)};
             return p && p->second < p->first;
         }},
        {"--split-lines", "CHARS", "MCUboot: split responses into lines of CHARS base64 characters (04 14 continuation)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::size_t>(v), o.mcuboot.splitLineChars); }},
        {"--noise-lines", "", "MCUboot: put noise lines between continuation lines",
         [](std::string_view, SimOptions& o) { o.mcuboot.noiseLines = true; return true; }},
        {"--flood-from-request", "N", "MCUboot: at the Nth request answer nothing but noise, without end",
         [](std::string_view v, SimOptions& o) { return (o.mcuboot.floodFromRequest = number<unsigned>(v)).has_value(); }},
        {"--corrupt-chunk", "K", "MCUboot: store the Kth upload chunk with its first byte XOR 0x5A",
         [](std::string_view v, SimOptions& o) { return (o.mcuboot.corruptChunk = number<unsigned>(v)).has_value(); }},
        {"--list-other-hash", "", "MCUboot: list slot 0 with another image's hash (32 bytes 0xA5), whatever was uploaded",
         [](std::string_view, SimOptions& o) { o.mcuboot.listOtherHash = true; return true; }},
        // STM32
        {"--product-id", "N", "STM32: product ID answered by Get ID (default 0x0469)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint16_t>(v), o.stm32.productId); }},
        {"--bootloader-version", "N", "STM32: bootloader version answered by Get and Get Version (default 0x31)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint8_t>(v), o.stm32.bootloaderVersion); }},
        {"--erase-command", "erase|ext|none", "STM32: erase command that Get lists (default ext)",
         [](std::string_view v, SimOptions& o) {
             o.stm32.erase = v == "erase" ? EraseCommand::Erase : v == "none" ? EraseCommand::None : EraseCommand::Extended;
             return v == "erase" || v == "ext" || v == "none";
         }},
        {"--ack-style", "79|75", "STM32: ACK/NACK bytes 0x79/0x1F (default) or 0x75/0x3F",
         [](std::string_view v, SimOptions& o) {
             o.stm32.ack = v == "75" ? 0x75 : 0x79;
             o.stm32.nack = v == "75" ? 0x3F : 0x1F;
             return v == "75" || v == "79";
         }},
        {"--flash-base", "ADDR", "STM32: flash start address (default 0x08000000)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint32_t>(v), o.stm32.flashBase); }},
        {"--flash-size", "N", "STM32: flash size in bytes (default 0x80000)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint32_t>(v), o.stm32.flashSize) && o.stm32.flashSize > 0; }},
        {"--page-size", "N", "STM32: erase page size in bytes (default 0x800)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint32_t>(v), o.stm32.pageSize) && o.stm32.pageSize > 0; }},
        {"--otp-address", "ADDR|none", "STM32: address of the 512-byte OTP block (default 0x1FFF7000)",
         [](std::string_view v, SimOptions& o) {
             o.stm32.otpAddress = v == "none" ? std::nullopt : number<std::uint32_t>(v);
             return v == "none" || o.stm32.otpAddress.has_value();
         }},
        {"--marker-address", "ADDR", "STM32: address whose writes are reported as marker writes (default 0x0807F800)",
         [](std::string_view v, SimOptions& o) { return assign(number<std::uint32_t>(v), o.stm32.markerAddress); }},
        {"--nack-at-block", "K:N", "STM32: NACK the Kth Write Memory command N times",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v);
             if (p)
                 o.stm32.nackAtBlock = Stm32Settings::NackAtBlock{static_cast<unsigned>(p->first), static_cast<unsigned>(p->second)};
             return p.has_value();
         }},
        {"--unplug-after-blocks", "N", "STM32: pull the cable after N written blocks",
         [](std::string_view v, SimOptions& o) { return (o.stm32.unplugAfterBlocks = number<unsigned>(v)).has_value(); }},
        {"--old-data", "ADDR:LEN", "STM32: flash starts with old data (0x5A bytes) there; writes into its pages before an erase get NACK",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v);
             if (p && p->first <= std::numeric_limits<std::uint32_t>::max() &&
                 p->second <= std::numeric_limits<std::uint32_t>::max())
                 o.stm32.oldData = Stm32Settings::OldData{static_cast<std::uint32_t>(p->first), static_cast<std::uint32_t>(p->second)};
             return o.stm32.oldData.has_value();
         }},
        {"--stray-after-read", "K:N", "STM32: send N stray ACK bytes right after the reply to the Kth Read Memory",
         [](std::string_view v, SimOptions& o) {
             const auto p = pair(v);
             if (p)
                 o.stm32.strayAfterRead = Stm32Settings::StrayBurst{static_cast<unsigned>(p->first), static_cast<unsigned>(p->second)};
             return p.has_value();
         }},
        {"--corrupt-block", "K", "STM32: ACK the Kth Write Memory block but store its first byte XOR 0x5A",
         [](std::string_view v, SimOptions& o) { return (o.stm32.corruptBlock = number<unsigned>(v)).has_value(); }},
        {"--nack-reads-from", "K", "STM32: NACK the Kth and every later Read Memory command",
         [](std::string_view v, SimOptions& o) { return (o.stm32.nackReadsFrom = number<unsigned>(v)).has_value(); }},
    };
    return options;
}

constexpr std::string_view kOutputHelp = R"(
Output on stdout, one line per event, flushed at once:
  ready PATH              the link is up and answers
  image-complete SIZE     MCUboot: the last byte of an image of SIZE bytes came in
  reset COUNT             MCUboot: a reset request came; COUNT requests so far
  image-check ok END HASH MCUboot, after a reset that follows an upload: the received image passes
                          MCUboot's format checks; END is where its TLV area ends, HASH its SHA-256
  image-check bad REASON  MCUboot: as above, but MCUboot would not boot it, for REASON
  write ADDR SIZE         STM32: a Write Memory block was stored
  marker ADDR HEX         STM32: a write hit the marker address, with its bytes in hex ("50555746" is PUWF)
  go ADDR                 STM32: Go to ADDR was received
  unplugged               the cable was pulled by a fault option
  flooding                MCUboot: the flood of noise has begun
A log of every request goes to stderr. The path is removed on every exit,
SIGTERM and SIGINT included. Numbers take decimal or 0x-prefixed hex.
)";

} // namespace

OptionParser::Result OptionParser::parse(const std::vector<std::string>& arguments)
{
    Result result;
    SimOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            result.helpRequested = true;
            return result;
        }
        const auto equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const auto option = std::find_if(table().begin(), table().end(), [&](const Option& o) { return o.name == name; });
        if (option == table().end()) {
            result.error = fmt::format("unknown option {}", name);
            return result;
        }
        std::string_view value;
        if (!option->valueName.empty()) {
            if (equals != std::string_view::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else {
                result.error = fmt::format("{} needs a value", name);
                return result;
            }
        }
        if (!option->set(value, options)) {
            result.error = fmt::format("bad value for {}: '{}'", name, value);
            return result;
        }
    }
    if (options.linkPath.empty()) {
        result.error = "--link PATH is required";
        return result;
    }
    result.options = options;
    return result;
}

std::string OptionParser::helpText()
{
    std::string text = "Usage: lumavex-unit-sim --link PATH [options]\n"
                       "Plays a unit in MCUboot serial recovery (SMP) or in the STM32 system bootloader\n"
                       "on a pseudo-terminal reachable at PATH.\n\nOptions:\n";
    for (const Option& option : table()) {
        const std::string head = option.valueName.empty() ? std::string(option.name)
                                                          : fmt::format("{} {}", option.name, option.valueName);
        text += fmt::format("  {:<34} {}\n", head, option.help);
    }
    text += fmt::format("  {:<34} {}\n", "--help", "this text");
    text += kOutputHelp;
    return text;
}
