#include "ReceiverPool.h"

#include <optional>

namespace dispatcher {

namespace {
constexpr unsigned kFixedReservations[] = {0, 19, 200, 238, 239};
constexpr unsigned kFirstReservedTop = 240;
} // namespace

ReceiverPool::ReceiverPool(std::uint8_t reservedCount)
{
    for (unsigned receiver : kFixedReservations)
        taken_.set(receiver);
    for (unsigned receiver = kFirstReservedTop; receiver < taken_.size(); ++receiver)
        taken_.set(receiver);
    for (unsigned receiver = 1; receiver < reservedCount; ++receiver)
        taken_.set(receiver);
}

Receiver ReceiverPool::Allocate()
{
    std::lock_guard lock(mutex_);
    std::optional<Receiver> found;
    for (unsigned receiver = 0; receiver < taken_.size() && !found; ++receiver) {
        if (!taken_.test(receiver)) {
            taken_.set(receiver);
            found = Receiver{static_cast<std::uint8_t>(receiver)};
        }
    }
    return found.value();
}

void ReceiverPool::Release(Receiver receiver)
{
    std::lock_guard lock(mutex_);
    taken_.reset(static_cast<std::uint8_t>(receiver));
}

} // namespace dispatcher
