#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace stm32_updater {

// Lock-free hand-over of received bytes from the port's thread (the only
// producer) to the worker (the only consumer). Each side writes only its own
// index; 65 slots hold at most 64 unread bytes, and a byte that finds the ring
// full is dropped. No allocation, so it is safe on the receive path.
class ReceiveRing {
public:
    static constexpr std::uint32_t kSlots = 65;
    static constexpr std::uint32_t kCapacity = kSlots - 1;

    // Producer side: false when the byte was dropped.
    bool Push(std::byte byte) noexcept;
    // Consumer side: the oldest unread byte, or nothing when empty.
    std::optional<std::byte> Pop() noexcept;
    // Consumer side: forgets every unread byte.
    void DiscardUnread() noexcept;

private:
    static constexpr std::uint32_t Next(std::uint32_t index) { return (index + 1) % kSlots; }

    std::array<std::byte, kSlots> slots_{};
    std::atomic<std::uint32_t> write_{0};
    std::atomic<std::uint32_t> read_{0};
};

} // namespace stm32_updater
