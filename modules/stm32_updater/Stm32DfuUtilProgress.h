#pragma once

#include <QString>
#include <optional>

// Reading dfu-util's download output.
namespace stm32_updater {

// The percentage of the latest progress update in `output`: only the text
// after the last line feed counts, and of the carriage-return separated
// updates there the last "Download ... ] NN%" wins. Empty when there is none
// or the number does not fit an int.
std::optional<int> lastDownloadPercent(const QString& output);

} // namespace stm32_updater
