#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace stm32_updater {

// Lock-free hand-over of received bytes from the port's thread (the only
// producer) to the worker (the only consumer). Each side writes only its own
// index; Slots slots hold at most Slots - 1 unread bytes (64 by default), and
// a byte that finds the ring full is dropped. No allocation, so it is safe on
// the receive path.
template <std::uint32_t Slots = 65>
class ReceiveRing {
public:
    static constexpr std::uint32_t kSlots = Slots;
    static constexpr std::uint32_t kCapacity = kSlots - 1;

    // Producer side: false when the byte was dropped.
    bool Push(std::byte byte) noexcept
    {
        const std::uint32_t write = write_.load(std::memory_order_relaxed);
        const std::uint32_t next = Next(write);
        if (next == read_.load(std::memory_order_acquire))
            return false;
        slots_[write] = byte;
        write_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side: the oldest unread byte, or nothing when empty.
    std::optional<std::byte> Pop() noexcept
    {
        const std::uint32_t read = read_.load(std::memory_order_relaxed);
        if (read == write_.load(std::memory_order_acquire))
            return std::nullopt;
        const std::byte byte = slots_[read];
        read_.store(Next(read), std::memory_order_release);
        return byte;
    }

    // Consumer side: forgets every unread byte.
    void DiscardUnread() noexcept { read_.store(write_.load(std::memory_order_acquire), std::memory_order_release); }

private:
    static constexpr std::uint32_t Next(std::uint32_t index) { return (index + 1) % kSlots; }

    std::array<std::byte, kSlots> slots_{};
    std::atomic<std::uint32_t> write_{0};
    std::atomic<std::uint32_t> read_{0};
};

} // namespace stm32_updater
