#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into a readable file descriptor (the
// self-pipe trick), so the main loop can wait on it beside the link and
// leave through its normal clean-up path.
class StopSignal {
public:
    // Installs the handlers; only one instance may exist.
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    int fd() const;
    bool requested() const;
};
