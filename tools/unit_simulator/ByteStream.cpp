#include "ByteStream.h"

#include "EventLog.h"

namespace {
constexpr int kPollMs = 500;
}

ByteStream::ByteStream(PtyLink& link, ReceiveBudget& budget) : link(link), budget(budget)
{
}

void ByteStream::unplug()
{
    if (linkEnded)
        return;
    link.unplug();
    linkEnded = true;
    EventLog::event("unplugged");
}

bool ByteStream::fill(int timeoutMs)
{
    if (budget.unplugDue())
        unplug();
    if (linkEnded)
        return false;
    const auto bytes = link.receive(timeoutMs);
    if (!bytes) {
        linkEnded = true;
        return false;
    }
    const auto admitted = budget.admit(*bytes);
    buffered.insert(buffered.end(), admitted.begin(), admitted.end());
    return true;
}

std::optional<std::uint8_t> ByteStream::next(int timeoutMs)
{
    const bool forever = timeoutMs < 0;
    const auto deadline = PtyLink::Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    while (buffered.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - PtyLink::Clock::now());
        if (!forever && left.count() <= 0)
            return std::nullopt;
        if (!fill(forever ? kPollMs : static_cast<int>(left.count())))
            return std::nullopt;
    }
    const std::uint8_t byte = buffered.front();
    buffered.pop_front();
    // The unplug point may fall right after this byte: the unit still acts on it.
    return byte;
}
