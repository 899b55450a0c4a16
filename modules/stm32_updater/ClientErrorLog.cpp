#include "ClientErrorLog.h"

#include "LogMessage.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <span>

namespace stm32_updater {

namespace {
constexpr std::size_t kMaxLogText = 100;
constexpr std::uint8_t kErrorLevel = 3;
} // namespace

void LogClientError(std::string_view text)
{
    std::array<char, kMaxLogText> buffer{};
    const auto result = fmt::format_to_n(buffer.data(), buffer.size(), "{}", text);
    dispatcher::LogMessage(kErrorLevel, std::span<const char>(buffer.data(), std::min(result.size, buffer.size())));
}

} // namespace stm32_updater
