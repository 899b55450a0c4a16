#pragma once

#include "StopSignal.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The unit's end of the cable: a pseudo-terminal whose slave is reachable
// through a symlink. With a baud rate set it behaves like a real line in both
// directions: a received byte becomes visible only one byte time after the
// previous one (and no earlier than one byte time after it arrived), and sent
// bytes go out at the line's speed.
class PtyLink {
public:
    using Clock = std::chrono::steady_clock;

    struct Pacing {
        unsigned baud = 0;         // 0: no pacing
        unsigned bitsPerByte = 10; // start, data, parity and stop bits
    };

    // Empty with `error` set when the pseudo-terminal or the symlink cannot be made.
    static std::unique_ptr<PtyLink> open(const std::string& path, Pacing pacing, const StopSignal& stop,
                                         std::string& error);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Bytes that have come in by now, waiting up to `timeoutMs` for the first;
    // empty on timeout; nothing when a stop was requested or the link is gone.
    std::optional<std::vector<std::uint8_t>> receive(int timeoutMs);
    // Writes at the line's speed; false when the link is gone or the other
    // side has stopped reading for too long.
    bool send(std::span<const std::uint8_t> bytes);
    // Sends noise until the link is gone or a stop is requested, at the line's
    // speed when paced. A reader that stops reading only slows it down.
    // Returns the number of bytes sent.
    std::uint64_t flood();
    // Waits (bounded) until the other side has read everything sent, so an
    // orderly exit does not swallow the last answer.
    void waitUntilDelivered(int timeoutMs);
    // Pulls the cable: closes the terminal and removes the path.
    void unplug();

    const std::string& path() const { return linkPath; }
    bool connected() const { return master >= 0; }

private:
    PtyLink(int master, int slave, std::string path, Pacing pacing, const StopSignal& stop);

    std::chrono::nanoseconds byteTime(std::size_t count) const;
    bool readArrived();
    std::vector<std::uint8_t> takeReleased(Clock::time_point now);
    bool writeAll(std::span<const std::uint8_t> bytes);
    void removePath();

    int master;
    int slave; // kept open so the master never sees a hang-up between client sessions
    std::string linkPath;
    Pacing pacing;
    const StopSignal& stop;
    struct PendingByte {
        std::uint8_t value;
        Clock::time_point due;
    };
    std::deque<PendingByte> pending;
    Clock::time_point receiveClock{};
    Clock::time_point sendClock{};
};
