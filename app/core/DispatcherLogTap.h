#pragma once

#include "Dispatcher.h"
#include "IListener.h"

#include <cstddef>
#include <span>

class SessionLog;

// Installs itself as the process-wide log dispatcher, so the bootloader
// client's log messages, otherwise dropped, land in the session log with
// their level. Uninstalls itself on destruction.
class DispatcherLogTap final : public IListener {
public:
    explicit DispatcherLogTap(SessionLog& log);
    ~DispatcherLogTap();
    DispatcherLogTap(const DispatcherLogTap&) = delete;
    DispatcherLogTap& operator=(const DispatcherLogTap&) = delete;

    void OnMessage(std::span<const std::byte> message) override;

private:
    SessionLog& log;
    dispatcher::Dispatcher hub{{}, 1};
    DispatcherHandle handle;
};
