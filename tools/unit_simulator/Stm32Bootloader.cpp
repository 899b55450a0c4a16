#include "Stm32Bootloader.h"

#include "EventLog.h"

#include <chrono>
#include <thread>

namespace {

constexpr int kInterByteTimeoutMs = 2000; // a host that stops mid-command is forgotten after this
constexpr std::uint8_t kInit = 0x7F;

enum Command : std::uint8_t {
    kGet = 0x00,
    kGetVersion = 0x01,
    kGetId = 0x02,
    kReadMemory = 0x11,
    kGo = 0x21,
    kWriteMemory = 0x31,
    kErase = 0x43,
    kExtendedErase = 0x44,
};

std::uint8_t xorOf(const std::vector<std::uint8_t>& bytes, std::uint8_t seed)
{
    for (const std::uint8_t b : bytes)
        seed ^= b;
    return seed;
}

} // namespace

Stm32Bootloader::Stm32Bootloader(const SimOptions& options, PtyLink& link, ByteStream& stream, Stm32Memory& memory)
    : options(options), settings(options.stm32), link(link), stream(stream), memory(memory)
{
}

void Stm32Bootloader::run()
{
    while (!stream.ended()) {
        const auto first = stream.next(-1);
        if (!first)
            continue;
        if (!initialised) {
            // Only the first byte after a reset synchronises; before it comes, the rest is line noise.
            if (*first == kInit) {
                EventLog::note("Init");
                initialised = true;
                ack();
            }
            continue;
        }
        const auto complement = byte();
        if (!complement)
            continue;
        if (*complement != static_cast<std::uint8_t>(*first ^ 0xFF)) {
            EventLog::note("command {:#04x} with bad complement {:#04x}", *first, *complement);
            nack();
            continue;
        }
        dispatch(*first);
    }
}

void Stm32Bootloader::dispatch(std::uint8_t command)
{
    switch (command) {
    case kGet:
        return get();
    case kGetVersion:
        return getVersion();
    case kGetId:
        return getId();
    case kReadMemory:
        return readMemory();
    case kGo:
        return go();
    case kWriteMemory:
        return writeMemory();
    case kErase:
        return settings.erase == EraseCommand::Erase ? erase() : nack();
    case kExtendedErase:
        return settings.erase == EraseCommand::Extended ? extendedErase() : nack();
    default:
        EventLog::note("unsupported command {:#04x}", command);
        return nack();
    }
}

std::optional<std::uint8_t> Stm32Bootloader::byte()
{
    return stream.next(kInterByteTimeoutMs);
}

void Stm32Bootloader::send(std::vector<std::uint8_t> bytes)
{
    link.send(bytes);
}

void Stm32Bootloader::ack()
{
    send({settings.ack});
}

void Stm32Bootloader::nack()
{
    send({settings.nack});
}

std::vector<std::uint8_t> Stm32Bootloader::commandList() const
{
    std::vector<std::uint8_t> list{kGet, kGetVersion, kGetId, kReadMemory, kGo, kWriteMemory};
    if (settings.erase == EraseCommand::Erase)
        list.push_back(kErase);
    else if (settings.erase == EraseCommand::Extended)
        list.push_back(kExtendedErase);
    return list;
}

void Stm32Bootloader::get()
{
    EventLog::note("Get");
    const auto list = commandList();
    std::vector<std::uint8_t> reply{settings.ack, static_cast<std::uint8_t>(list.size()), settings.bootloaderVersion};
    reply.insert(reply.end(), list.begin(), list.end());
    reply.push_back(settings.ack);
    send(reply);
}

void Stm32Bootloader::getVersion()
{
    EventLog::note("Get Version");
    send({settings.ack, settings.bootloaderVersion, 0x00, 0x00, settings.ack});
}

void Stm32Bootloader::getId()
{
    EventLog::note("Get ID");
    send({settings.ack, 0x01, static_cast<std::uint8_t>(settings.productId >> 8),
          static_cast<std::uint8_t>(settings.productId), settings.ack});
}

std::optional<std::vector<std::uint8_t>> Stm32Bootloader::checkedBytes(std::size_t count, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const auto b = byte();
        if (!b)
            return std::nullopt;
        bytes.push_back(*b);
    }
    const auto checksum = byte();
    if (!checksum)
        return std::nullopt;
    if (*checksum != xorOf(bytes, seed)) {
        EventLog::note("  bad checksum {:#04x}, expected {:#04x}", *checksum, xorOf(bytes, seed));
        nack();
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::uint32_t> Stm32Bootloader::address()
{
    const auto bytes = checkedBytes(4, 0);
    if (!bytes)
        return std::nullopt;
    return std::uint32_t{(*bytes)[0]} << 24 | std::uint32_t{(*bytes)[1]} << 16 | std::uint32_t{(*bytes)[2]} << 8 |
           (*bytes)[3];
}

std::optional<std::uint32_t> Stm32Bootloader::mappedAddress(const char* commandName)
{
    ack();
    const auto start = address();
    if (!start)
        return std::nullopt;
    if (!memory.read(*start, 1)) {
        EventLog::note("{} at unmapped {:#010x}", commandName, *start);
        nack();
        return std::nullopt;
    }
    ack();
    return start;
}

void Stm32Bootloader::readMemory()
{
    ++readsAsked;
    if (settings.nackReadsFrom && readsAsked >= *settings.nackReadsFrom) {
        EventLog::note("  fault: Read Memory {} refused", readsAsked);
        return nack();
    }
    const auto start = mappedAddress("Read Memory");
    if (!start)
        return;
    const auto count = byte();
    const auto complement = count ? byte() : std::nullopt;
    if (!complement)
        return;
    const auto data = memory.read(*start, std::size_t{*count} + 1);
    EventLog::note("Read Memory {:#010x} {} bytes", *start, std::size_t{*count} + 1);
    if (*complement != static_cast<std::uint8_t>(*count ^ 0xFF) || !data)
        return nack();
    std::vector<std::uint8_t> reply{settings.ack};
    reply.insert(reply.end(), data->begin(), data->end());
    addStrayBytes(reply);
    send(reply);
}

// With the stray-bytes fault, the burst goes out in the same write as the
// reply, so it has reached the host before the host's next command.
void Stm32Bootloader::addStrayBytes(std::vector<std::uint8_t>& reply)
{
    ++readsAnswered;
    const auto& fault = settings.strayAfterRead;
    if (!fault || fault->read != readsAnswered)
        return;
    EventLog::note("  fault: {} stray bytes after read {}", fault->bytes, fault->read);
    reply.insert(reply.end(), fault->bytes, settings.ack);
}

void Stm32Bootloader::go()
{
    ack();
    const auto target = address();
    if (!target)
        return;
    if (!memory.isFlash(*target)) {
        EventLog::note("Go to {:#010x} outside flash", *target);
        return nack();
    }
    ack();
    EventLog::note("Go {:#010x}", *target);
    EventLog::event("go {:#010x}", *target);
    initialised = false; // the application runs now; a new handshake starts the bootloader again
}

bool Stm32Bootloader::nackThisBlock()
{
    const auto& fault = settings.nackAtBlock;
    if (!fault || fault->block != blocksWritten + 1 || nacksGiven >= fault->times)
        return false;
    ++nacksGiven;
    EventLog::note("  fault: NACK {} of {} for block {}", nacksGiven, fault->times, fault->block);
    return true;
}

// What the flash takes from a block: with the corrupt-block fault, one byte
// differs from what the checksum vouched for.
std::vector<std::uint8_t> Stm32Bootloader::storedForm(std::vector<std::uint8_t> data) const
{
    if (settings.corruptBlock && *settings.corruptBlock == blocksWritten + 1 && !data.empty()) {
        EventLog::note("  fault: block {} stored with its first byte changed", blocksWritten + 1);
        data[0] ^= 0x5A;
    }
    return data;
}

void Stm32Bootloader::writeMemory()
{
    const auto start = mappedAddress("Write Memory");
    if (!start)
        return;
    const auto count = byte();
    const auto data = count ? checkedBytes(std::size_t{*count} + 1, *count) : std::nullopt;
    if (!data)
        return;
    EventLog::note("Write Memory {:#010x} {} bytes", *start, data->size());
    if (nackThisBlock() || !memory.write(*start, storedForm(*data)))
        return nack();
    if (options.writeMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.writeMs));
    ++blocksWritten;
    ack();
    EventLog::event("write {:#010x} {}", *start, data->size());
    reportMarker(*start, *data);
    if (settings.unplugAfterBlocks && blocksWritten >= *settings.unplugAfterBlocks) {
        link.waitUntilDelivered(500);
        stream.unplug();
    }
}

void Stm32Bootloader::reportMarker(std::uint32_t start, const std::vector<std::uint8_t>& data)
{
    const std::uint32_t marker = settings.markerAddress;
    if (marker < start || marker - start >= data.size())
        return;
    std::string hex;
    for (std::size_t i = marker - start; i < data.size() && i < marker - start + 16; ++i)
        hex += fmt::format("{:02x}", data[i]);
    EventLog::event("marker {:#010x} {}", marker, hex);
}

void Stm32Bootloader::erase()
{
    ack();
    const auto count = byte();
    if (!count)
        return;
    if (*count == 0xFF) { // global erase, with 0x00 as its checksum
        const auto checksum = byte();
        if (checksum)
            eraseAll(*checksum == 0x00);
        return;
    }
    const auto pages = checkedBytes(std::size_t{*count} + 1, *count);
    if (pages)
        erasePages(*pages);
}

void Stm32Bootloader::extendedErase()
{
    ack();
    const auto high = byte();
    const auto low = high ? byte() : std::nullopt;
    if (!low)
        return;
    const unsigned count = unsigned{*high} << 8 | *low;
    const std::uint8_t seed = *high ^ *low;
    if (count >= 0xFFF0) { // special codes; only mass erase (0xFFFF) is served
        const auto checksum = byte();
        if (checksum)
            eraseAll(*checksum == seed && count == 0xFFFF);
        return;
    }
    const auto list = checkedBytes((std::size_t{count} + 1) * 2, seed);
    if (!list)
        return;
    std::vector<std::uint32_t> pages;
    for (std::size_t i = 0; i < list->size(); i += 2)
        pages.push_back(std::uint32_t{(*list)[i]} << 8 | (*list)[i + 1]);
    erasePages(pages);
}

void Stm32Bootloader::eraseAll(bool valid)
{
    if (!valid)
        return nack();
    EventLog::note("Erase: whole flash");
    memory.eraseAll();
    ack();
}

template <typename Pages>
void Stm32Bootloader::erasePages(const Pages& pages)
{
    EventLog::note("Erase: {} pages from {}", pages.size(), pages.front());
    bool allErased = true;
    for (const auto page : pages)
        allErased = memory.erasePage(page) && allErased;
    allErased ? ack() : nack();
}
