#pragma once

#include "IDispatcher.h"

#include <utility>
#include <vector>

namespace dispatcher {

// The dispatcher as its owner sees it: it can also list what it carries and
// who has registered, and it is deleted through this interface.
class IMasterDispatcher : public IDispatcher {
public:
    virtual std::vector<std::pair<SubsystemId, MessageId>> ListMessages() = 0;
    virtual bool IsRegistered(Receiver receiver) = 0;
    virtual ~IMasterDispatcher() = default;
};

} // namespace dispatcher
