#include "BootloaderFrames.h"

namespace stm32_updater::frames {

namespace {

template <typename Number>
void AppendBigEndian(std::vector<std::byte>& frame, Number value)
{
    for (int shift = 8 * (static_cast<int>(sizeof(Number)) - 1); shift >= 0; shift -= 8)
        frame.push_back(std::byte(value >> shift));
}

template <typename Page>
std::vector<std::byte> NumberedList(std::span<const Page> pages)
{
    std::vector<std::byte> frame;
    AppendBigEndian(frame, static_cast<Page>(pages.size() - 1));
    for (Page page : pages)
        AppendBigEndian(frame, page);
    frame.push_back(Checksum(frame));
    return frame;
}

} // namespace

std::byte Checksum(std::span<const std::byte> bytes)
{
    std::byte sum{0};
    for (std::byte byte : bytes)
        sum ^= byte;
    return sum;
}

std::array<std::byte, 2> Command(std::uint8_t code)
{
    return {std::byte{code}, ~std::byte{code}};
}

std::array<std::byte, 5> Address(std::uint32_t address)
{
    std::array<std::byte, 5> frame{
        std::byte(address >> 24), std::byte(address >> 16), std::byte(address >> 8), std::byte(address), std::byte{0}};
    frame[4] = Checksum(std::span(frame).first(4));
    return frame;
}

std::vector<std::byte> PageList(std::span<const std::uint8_t> pages) { return NumberedList(pages); }

std::vector<std::byte> PageList(std::span<const std::uint16_t> pages) { return NumberedList(pages); }

} // namespace stm32_updater::frames
