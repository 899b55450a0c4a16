#pragma once

#include "Dispatcher.h"
#include "IListener.h"

#include <cstdint>
#include <string>
#include <vector>

// Installs a dispatcher as the process-wide log dispatcher for its lifetime
// and keeps every log message that reaches it.
class LogCapture final : public IListener {
public:
    struct Entry {
        std::uint8_t destination;
        std::uint8_t source;
        std::uint8_t level;
        std::string text;
    };

    LogCapture();
    ~LogCapture();

    void OnMessage(std::span<const std::byte> message) override;

    const std::vector<Entry>& Entries() const { return entries_; }
    std::vector<std::string> Texts() const;

private:
    dispatcher::Dispatcher dispatcher_{{}, 1};
    DispatcherHandle registration_;
    std::vector<Entry> entries_;
};
