#include "ReceiveRing.h"

namespace stm32_updater {

bool ReceiveRing::Push(std::byte byte) noexcept
{
    const std::uint32_t write = write_.load(std::memory_order_relaxed);
    const std::uint32_t next = Next(write);
    if (next == read_.load(std::memory_order_acquire))
        return false;
    slots_[write] = byte;
    write_.store(next, std::memory_order_release);
    return true;
}

std::optional<std::byte> ReceiveRing::Pop() noexcept
{
    const std::uint32_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire))
        return std::nullopt;
    const std::byte byte = slots_[read];
    read_.store(Next(read), std::memory_order_release);
    return byte;
}

void ReceiveRing::DiscardUnread() noexcept
{
    read_.store(write_.load(std::memory_order_acquire), std::memory_order_release);
}

} // namespace stm32_updater
