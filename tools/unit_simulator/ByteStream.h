#pragma once

#include "PtyLink.h"
#include "ReceiveBudget.h"

#include <cstdint>
#include <deque>
#include <optional>

// Byte-at-a-time reading of the link for byte-oriented protocols, with the
// receive faults (silence, unplug) applied.
class ByteStream {
public:
    ByteStream(PtyLink& link, ReceiveBudget& budget);

    // The next byte, or nothing on timeout or when the link has ended
    // (then ended() is true). A negative timeout waits until the link ends.
    std::optional<std::uint8_t> next(int timeoutMs);
    bool ended() const { return linkEnded; }
    // Pulls the cable now.
    void unplug();

private:
    bool fill(int timeoutMs);

    PtyLink& link;
    ReceiveBudget& budget;
    std::deque<std::uint8_t> buffered;
    bool linkEnded = false;
};
