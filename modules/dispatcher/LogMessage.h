#pragma once

#include "IDispatcher.h"

#include <cstdint>
#include <span>

namespace dispatcher {

// Log messages travel as subsystem 0, message 7: destination 0, source 0xEE,
// then level, text length and the text.
inline constexpr SubsystemId kLogSubsystem{0};
inline constexpr MessageId kLogMessage{7};
inline constexpr std::uint8_t kLogSource = 0xEE;

// The process-wide dispatcher that log messages go to; none by default, and
// then every log message is dropped. Uninstall before the dispatcher dies.
void SetLogDispatcher(IDispatcher* logDispatcher);
IDispatcher* GetLogDispatcher();

// Posts the text at the level on the log dispatcher. A text too long for one
// message is replaced by an overflow notice at level 3.
void LogMessage(std::uint8_t level, std::span<const char> text);

} // namespace dispatcher
