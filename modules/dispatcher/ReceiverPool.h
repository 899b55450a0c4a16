#pragma once

#include "IDispatcher.h"

#include <bitset>
#include <cstdint>
#include <mutex>

namespace dispatcher {

// The set of receiver identities in use. Some identities are always taken;
// the owner may reserve 1 to reservedCount - 1 on top.
class ReceiverPool {
public:
    explicit ReceiverPool(std::uint8_t reservedCount);

    // The lowest free identity, now taken; throws std::bad_optional_access
    // when all 256 are taken.
    Receiver Allocate();
    void Release(Receiver receiver);

private:
    std::mutex mutex_;
    std::bitset<256> taken_;
};

} // namespace dispatcher
