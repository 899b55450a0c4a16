#include "ReceiveBudget.h"

#include <algorithm>
#include <limits>

ReceiveBudget::ReceiveBudget(std::optional<std::uint64_t> silentFrom, std::optional<std::uint64_t> unplugAfter)
    : silentFrom(silentFrom), unplugAfter(unplugAfter)
{
}

std::span<const std::uint8_t> ReceiveBudget::admit(std::span<const std::uint8_t> bytes)
{
    // Bytes past the unplug point never arrive; bytes past the silence point
    // arrive but are ignored.
    const std::uint64_t limit = std::min(silentFrom.value_or(std::numeric_limits<std::uint64_t>::max()),
                                         unplugAfter.value_or(std::numeric_limits<std::uint64_t>::max()));
    const std::uint64_t start = count;
    count += bytes.size();
    if (unplugAfter)
        count = std::min(count, *unplugAfter);
    if (start >= limit)
        return {};
    return bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), limit - start)));
}

bool ReceiveBudget::unplugDue() const
{
    return unplugAfter && count >= *unplugAfter;
}
