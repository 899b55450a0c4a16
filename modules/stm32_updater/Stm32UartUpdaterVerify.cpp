// Read-back of a written image by Stm32UartUpdater.
#include "Stm32UartUpdater.h"

#include "ExceptionString.h"
#include "MismatchText.h"

#include <algorithm>
#include <fmt/format.h>

namespace stm32_updater {

namespace {

// The exception's message without the source location in front of it.
std::string_view MessageOf(const lumavex::ExceptionString& error)
{
    const std::string_view text = error.Text();
    const auto space = text.find(' ');
    return space == std::string_view::npos ? text : text.substr(space + 1);
}

} // namespace

std::string Stm32UartUpdater::VerifyImage(std::span<const std::byte> image, std::uint32_t address,
                                          const ProgressCallback& progress)
{
    if (image.size() < kTrailerSize)
        return fmt::format("image of {} bytes cannot have been written", image.size());
    // What Flash wrote: the image with its trailer flag.
    std::vector<std::byte> written(image.begin(), image.end());
    const auto trailer = MakeTrailer(image);
    std::copy(trailer.begin(), trailer.end(), written.end() - kTrailerSize);
    std::size_t offset = 0;
    try {
        for (; offset < written.size(); offset += kVerifyBlockSize) {
            const std::size_t count = std::min(kVerifyBlockSize, written.size() - offset);
            const auto block = std::span(written).subspan(offset, count);
            if (const auto differs = CompareBlock(static_cast<std::uint32_t>(address + offset), block)) {
                const std::size_t at = offset + differs->offset;
                return MismatchText(static_cast<std::uint32_t>(address + at), differs->held, written[at]);
            }
            if (progress && (offset + count) % kProgressStep == 0)
                progress(State::Verifying, static_cast<unsigned>((offset + count) * 100 / written.size()));
        }
    } catch (const lumavex::ExceptionString& error) {
        return fmt::format("Read Memory at {:#010x} failed: {}", address + offset, MessageOf(error));
    }
    return {};
}

void Stm32UartUpdater::StartRead(std::uint32_t address, std::size_t count)
{
    commandName_ = "Read";
    SendCommand(0x11);
    WaitForDfuAck(kReplyTimeoutMs);
    SendAddress(address);
    WaitForDfuAck(kReplyTimeoutMs);
    const auto last = static_cast<std::uint8_t>(count - 1);
    const std::array<std::byte, 2> countFrame{std::byte{last}, ~std::byte{last}};
    Send(countFrame);
    WaitForDfuAck(kReplyTimeoutMs);
}

// The whole reply is taken even after a difference, so that none of it is
// left to answer a later command.
auto Stm32UartUpdater::CompareBlock(std::uint32_t address, std::span<const std::byte> expected)
    -> std::optional<Difference>
{
    StartRead(address, expected.size());
    std::optional<Difference> first;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto byte = TakeByte(kReplyTimeoutMs);
        if (!byte)
            throw lumavex::ExceptionString("receive timeout for {} bytes, command {}", expected.size(), commandName_);
        if (*byte != expected[i] && !first)
            first = Difference{i, *byte};
    }
    return first;
}

} // namespace stm32_updater
