#pragma once

#include <fmt/format.h>
#include <string>

// The machine-readable side of the simulator: one flushed line per event on
// stdout (see --help for the lines), and the readable request log on stderr.
class EventLog {
public:
    template <typename... Args>
    static void event(fmt::format_string<Args...> format, Args&&... args)
    {
        emit(stdout, fmt::format(format, std::forward<Args>(args)...));
    }

    template <typename... Args>
    static void note(fmt::format_string<Args...> format, Args&&... args)
    {
        emit(stderr, fmt::format(format, std::forward<Args>(args)...));
    }

private:
    static void emit(std::FILE* stream, const std::string& line);
};
