#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Counts received bytes for the faults that act after a number of them:
// going silent (later bytes are ignored) and pulling the cable.
class ReceiveBudget {
public:
    ReceiveBudget(std::optional<std::uint64_t> silentFrom, std::optional<std::uint64_t> unplugAfter);

    // The leading part of `bytes` the unit still gets to see.
    std::span<const std::uint8_t> admit(std::span<const std::uint8_t> bytes);
    bool unplugDue() const;
    std::uint64_t received() const { return count; }

private:
    std::optional<std::uint64_t> silentFrom;
    std::optional<std::uint64_t> unplugAfter;
    std::uint64_t count = 0;
};
