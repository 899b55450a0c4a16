#include "LogMessage.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

namespace dispatcher {

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kMaxMessageSize = 255;
constexpr std::uint8_t kOverflowLevel = 3;

std::atomic<IDispatcher*> logDispatcher{nullptr};

void LogOverflow()
{
    std::array<char, 128> text{};
    const auto result = fmt::format_to_n(text.data(), text.size(), "Message size overflow, message subsystem/ID {}:{} ({})",
                                         static_cast<unsigned>(kLogSubsystem), static_cast<unsigned>(kLogMessage), "LogMessage");
    LogMessage(kOverflowLevel, std::span<const char>(text.data(), std::min(result.size, text.size())));
}

} // namespace

void SetLogDispatcher(IDispatcher* dispatcher) { logDispatcher.store(dispatcher, std::memory_order_release); }

IDispatcher* GetLogDispatcher() { return logDispatcher.load(std::memory_order_acquire); }

void LogMessage(std::uint8_t level, std::span<const char> text)
{
    IDispatcher* dispatcher = GetLogDispatcher();
    if (!dispatcher)
        return;
    if (text.size() + kHeaderSize > kMaxMessageSize) {
        LogOverflow();
        return;
    }
    std::array<std::byte, kMaxMessageSize> message{};
    message[0] = std::byte{static_cast<std::uint8_t>(kLogSubsystem)};
    message[1] = std::byte{static_cast<std::uint8_t>(kLogMessage)};
    message[2] = std::byte{0};
    message[3] = std::byte{kLogSource};
    message[4] = std::byte{level};
    message[5] = std::byte{static_cast<std::uint8_t>(text.size())};
    std::transform(text.begin(), text.end(), message.begin() + kHeaderSize, [](char c) { return static_cast<std::byte>(c); });
    dispatcher->Send(std::span<const std::byte>(message.data(), kHeaderSize + text.size()));
}

} // namespace dispatcher
