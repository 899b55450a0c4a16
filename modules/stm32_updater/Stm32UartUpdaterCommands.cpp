// Flash, erase, write, read and go steps of Stm32UartUpdater.
#include "Stm32UartUpdater.h"

#include "BootloaderFrames.h"
#include "ClientErrorLog.h"
#include "ExceptionString.h"
#include "FlashPages.h"

#include <algorithm>
#include <numeric>

namespace stm32_updater {

namespace {

// Erase takes one byte per page number and a count byte in which 0xFF is the
// global-erase code; Extended Erase takes 16-bit numbers and reserves the
// counts from 0xFFF0 up for its special erases. Longer lists go out in parts.
constexpr std::uint32_t kMaxErasePageNumber = 0xFF;
constexpr std::uint32_t kMaxErasePagesPerCommand = 255;
constexpr std::uint32_t kMaxEraseExtPageNumber = 0xFFFF;
constexpr std::uint32_t kMaxEraseExtPagesPerCommand = 0xFFF0;
constexpr std::size_t kWordSize = 4;

std::size_t RoundUpToWord(std::size_t length) { return (length + kWordSize - 1) / kWordSize * kWordSize; }

template <typename Page>
std::vector<Page> PageNumbers(PageSpan span)
{
    std::vector<Page> pages(span.count);
    std::iota(pages.begin(), pages.end(), static_cast<Page>(span.first));
    return pages;
}

} // namespace

void Stm32UartUpdater::FlashImage(std::span<const std::byte> image, const ProgressCallback& progress,
                                  std::uint32_t address)
{
    // The write loop sends whole words and the trailer is the last 8 bytes:
    // any other image would make the client read past its end.
    if (image.size() < kTrailerSize || image.size() % kWordSize != 0)
        throw lumavex::ExceptionString("image of {} bytes refused: needs 8 or more bytes, a multiple of 4",
                                       image.size());
    progress_ = progress ? progress : ProgressCallback([](State, unsigned) {});
    progress_(State::Writing, 0);
    CmdGetVerRops();
    EraseForImage(address, image.size());
    const auto trailer = MakeTrailer(image);
    const std::size_t bodySize = image.size() - kTrailerSize;
    CmdWrite(address, image.first(bodySize));
    // The flag reaches the unit only after everything else has been written.
    CmdWrite(static_cast<std::uint32_t>(address + bodySize), trailer);
    LeaveBootloaderAfterFlash();
}

void Stm32UartUpdater::CmdGetVerRops()
{
    commandName_ = "Get Ver Rops";
    if (!(commandFlags_ & FlagGetVersion))
        throw lumavex::ExceptionString("Invalid DFU version, command {}", commandName_);
    SendCommand(0x01);
    WaitForDfuAck(kReplyTimeoutMs);
    WaitForData(3, kReplyTimeoutMs);
    WaitForDfuAck(kReplyTimeoutMs);
}

void Stm32UartUpdater::EraseForImage(std::uint32_t address, std::size_t imageSize)
{
    if (!deviceInfo_)
        throw lumavex::ExceptionString("no supported device identified, command {}", commandName_);
    const PageSpan pages = PagesForImage(*deviceInfo_, address, imageSize);
    const bool useErase = commandFlags_ & FlagErase;
    if (!useErase && !(commandFlags_ & FlagEraseExt)) {
        LogClientError("No erase methods");
        return;
    }
    if (globalErase_) {
        useErase ? CmdErase({}) : CmdEraseExt({});
        return;
    }
    commandName_ = useErase ? "Erase" : "Erase Ext";
    RefusePagesBeyondFirstBank(*deviceInfo_, pages);
    // A page number that does not fit its field would wrap round and erase a
    // page the image does not cover.
    if (pages.Last() > (useErase ? kMaxErasePageNumber : kMaxEraseExtPageNumber))
        throw lumavex::ExceptionString("page {} cannot be named, command {}", pages.Last(), commandName_);
    if (useErase) {
        for (const PageSpan run : SplitPages(pages, kMaxErasePagesPerCommand))
            CmdErase(PageNumbers<std::uint8_t>(run));
    } else {
        for (const PageSpan run : SplitPages(pages, kMaxEraseExtPagesPerCommand))
            CmdEraseExt(PageNumbers<std::uint16_t>(run));
    }
}

void Stm32UartUpdater::CmdErase(std::span<const std::uint8_t> pages)
{
    static constexpr std::array<std::byte, 2> kGlobalErase{std::byte{0xFF}, std::byte{0x00}};
    commandName_ = "Erase";
    if (pages.empty())
        RunErase(0x43, kGlobalErase, FlashPageCount());
    else
        RunErase(0x43, frames::PageList(pages), pages.size());
}

void Stm32UartUpdater::CmdEraseExt(std::span<const std::uint16_t> pages)
{
    static constexpr std::array<std::byte, 3> kMassErase{std::byte{0xFF}, std::byte{0xFF}, std::byte{0x00}};
    commandName_ = "Erase Ext";
    if (pages.empty())
        RunErase(0x44, kMassErase, FlashPageCount());
    else
        RunErase(0x44, frames::PageList(pages), pages.size());
}

// The reply to the page list comes when the last of its pages is erased.
void Stm32UartUpdater::RunErase(std::uint8_t code, std::span<const std::byte> list, std::size_t pageCount)
{
    SendCommand(code);
    WaitForDfuAck(kReplyTimeoutMs);
    Send(list);
    WaitForDfuAck(kReplyTimeoutMs + static_cast<int>(pageCount) * kErasePerPageMs);
}

// Every page of the flash, for an erase of all of it.
std::size_t Stm32UartUpdater::FlashPageCount() const
{
    if (!deviceInfo_)
        return 0;
    const std::uint64_t flashSize = std::uint64_t{deviceInfo_->flashEnd} - deviceInfo_->flashStart + 1;
    return static_cast<std::size_t>((flashSize + deviceInfo_->pageSize - 1) / deviceInfo_->pageSize);
}

std::array<std::byte, Stm32UartUpdater::kTrailerSize> Stm32UartUpdater::MakeTrailer(
    std::span<const std::byte> image) const
{
    std::array<std::byte, kTrailerSize> trailer{};
    std::copy(image.end() - kTrailerSize, image.end(), trailer.begin());
    trailer[4] = std::byte{trailerFlag_ ? std::uint8_t{1} : std::uint8_t{0}};
    std::fill(trailer.begin() + 5, trailer.end(), std::byte{0});
    return trailer;
}

void Stm32UartUpdater::CmdWrite(std::uint32_t address, std::span<const std::byte> bytes)
{
    commandName_ = "Write";
    const std::uint64_t length = bytes.size();
    std::size_t offset = 0;
    std::size_t remaining = bytes.size();
    unsigned nacks = 0;
    while (remaining > 0) {
        if (nacks > kMaxNacks)
            throw lumavex::ExceptionString("10 NACKs received, command {}", commandName_);
        const std::size_t available = std::min(remaining, kWriteBlockSize);
        if (!WriteBlock(static_cast<std::uint32_t>(address + offset), bytes.subspan(offset, available))) {
            ++nacks;
            continue;
        }
        nacks = 0;
        const std::size_t blockLength = RoundUpToWord(available);
        offset += blockLength;
        remaining -= available;
        if (offset % kProgressStep == 0)
            progress_(State::Writing, static_cast<unsigned>((length - remaining) * 100 / length));
    }
}

// One Write Memory exchange; false when the unit answered any part with NACK.
bool Stm32UartUpdater::WriteBlock(std::uint32_t address, std::span<const std::byte> block)
{
    SendCommand(0x31);
    if (!WaitForDfuAckNack(kReplyTimeoutMs))
        return false;
    SendAddress(address);
    if (!WaitForDfuAckNack(kReplyTimeoutMs))
        return false;
    // A short last block is padded with zero bytes up to a whole word.
    const std::size_t blockLength = RoundUpToWord(block.size());
    std::array<std::byte, kWriteBlockSize + 2> frame{};
    frame[0] = std::byte(blockLength - 1);
    std::copy(block.begin(), block.end(), frame.begin() + 1);
    frame[blockLength + 1] = frames::Checksum(std::span(frame).first(blockLength + 1));
    Send(std::span(frame).first(blockLength + 2));
    return WaitForDfuAckNack(kReplyTimeoutMs);
}

void Stm32UartUpdater::CmdGo(std::uint32_t address)
{
    SendCommand(0x21);
    WaitForDfuAck(kReplyTimeoutMs);
    // The unit leaves the bootloader here; its answer to the address is not awaited.
    SendAddress(address);
}

void Stm32UartUpdater::ReadBlock(std::uint32_t address, std::size_t count, std::vector<std::byte>& out)
{
    StartRead(address, count);
    const auto data = WaitForData(count, kReplyTimeoutMs);
    out.insert(out.end(), data.begin(), data.end());
}

void Stm32UartUpdater::LeaveBootloaderAfterFlash()
{
    preReset_();
    bootSelect_(false);
    reset_(true);
    postReset_();
}

} // namespace stm32_updater
