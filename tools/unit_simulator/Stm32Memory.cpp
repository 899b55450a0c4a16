#include "Stm32Memory.h"

#include "EventLog.h"

#include <algorithm>

namespace {

constexpr std::size_t kOtpEntrySize = 16;

// All entries erased; with a model identifier, one record in the top entry.
std::vector<std::uint8_t> otpBlock(std::optional<std::uint8_t> modelId)
{
    std::vector<std::uint8_t> block(Stm32Memory::kOtpSize, 0xFF);
    if (!modelId)
        return block;
    auto entry = block.begin() + (Stm32Memory::kOtpSize - kOtpEntrySize);
    std::fill(entry, entry + kOtpEntrySize, 0x00);
    for (int i = 0; i < 4; ++i)
        entry[i] = static_cast<std::uint8_t>(Stm32Memory::kModelIdKey >> (8 * i));
    entry[4] = *modelId;
    return block;
}

} // namespace

Stm32Memory::Stm32Memory(const Stm32Settings& settings, std::optional<std::uint8_t> modelId, ImageFile& flashFile)
    : settings(settings), flashFile(flashFile), flash(settings.flashSize, 0xFF), oldDataPages(pageCount(), false)
{
    if (settings.otpAddress)
        otp = otpBlock(modelId);
    if (settings.oldData)
        fillOldData(*settings.oldData);
    flashFile.replace(flash);
}

void Stm32Memory::fillOldData(const Stm32Settings::OldData& oldData)
{
    const auto region = locate(oldData.address, oldData.length);
    if (!region || !region->inFlash || oldData.length == 0)
        return;
    std::fill_n(flash.begin() + static_cast<std::ptrdiff_t>(region->offset), oldData.length, kOldDataByte);
    const std::size_t lastPage = (region->offset + oldData.length - 1) / settings.pageSize;
    for (std::size_t page = region->offset / settings.pageSize; page <= lastPage; ++page)
        oldDataPages[page] = true;
}

bool Stm32Memory::touchesOldData(std::size_t offset, std::size_t length) const
{
    const std::size_t lastPage = (offset + std::max<std::size_t>(length, 1) - 1) / settings.pageSize;
    for (std::size_t page = offset / settings.pageSize; page <= lastPage; ++page) {
        if (oldDataPages[page])
            return true;
    }
    return false;
}

std::optional<Stm32Memory::Location> Stm32Memory::locate(std::uint32_t address, std::size_t length) const
{
    const auto inside = [&](std::uint32_t base, std::size_t size) {
        return address >= base && address - base <= size && length <= size - (address - base);
    };
    if (inside(settings.flashBase, flash.size()))
        return Location{true, address - settings.flashBase};
    if (!otp.empty() && inside(*settings.otpAddress, otp.size()))
        return Location{false, address - *settings.otpAddress};
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> Stm32Memory::read(std::uint32_t address, std::size_t length) const
{
    const auto region = locate(address, length);
    if (!region)
        return std::nullopt;
    const auto begin = (region->inFlash ? flash : otp).begin() + static_cast<std::ptrdiff_t>(region->offset);
    return std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(length));
}

bool Stm32Memory::write(std::uint32_t address, std::span<const std::uint8_t> bytes)
{
    const auto region = locate(address, bytes.size());
    if (!region)
        return false;
    if (region->inFlash && touchesOldData(region->offset, bytes.size())) {
        EventLog::note("  refused: write at {:#010x} into old data that was not erased", address);
        return false;
    }
    auto& storage = region->inFlash ? flash : otp;
    bool overwrote = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::uint8_t& cell = storage[region->offset + i];
        overwrote = overwrote || cell != 0xFF;
        cell &= bytes[i];
    }
    if (overwrote)
        EventLog::note("  note: programming over non-erased bytes at {:#010x}", address);
    if (region->inFlash)
        flashFile.writeAt(region->offset, std::span(storage).subspan(region->offset, bytes.size()));
    return true;
}

bool Stm32Memory::isFlash(std::uint32_t address) const
{
    return address >= settings.flashBase && address - settings.flashBase < flash.size();
}

std::uint32_t Stm32Memory::pageCount() const
{
    return (settings.flashSize + settings.pageSize - 1) / settings.pageSize;
}

bool Stm32Memory::erasePage(std::uint32_t page)
{
    if (page >= pageCount())
        return false;
    const std::size_t start = std::size_t{page} * settings.pageSize;
    const std::size_t length = std::min<std::size_t>(settings.pageSize, flash.size() - start);
    std::fill_n(flash.begin() + static_cast<std::ptrdiff_t>(start), length, 0xFF);
    oldDataPages[page] = false;
    flashFile.writeAt(start, std::span(flash).subspan(start, length));
    return true;
}

void Stm32Memory::eraseAll()
{
    std::fill(flash.begin(), flash.end(), 0xFF);
    std::fill(oldDataPages.begin(), oldDataPages.end(), false);
    flashFile.replace(flash);
}
