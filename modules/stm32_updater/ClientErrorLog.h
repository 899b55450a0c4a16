#pragma once

#include <string_view>

namespace stm32_updater {

// Posts a client error as a level-3 log message, cut to 100 characters.
void LogClientError(std::string_view text);

} // namespace stm32_updater
