#pragma once

#include <cstddef>
#include <span>

// Receives dispatcher messages (subsystem, number, destination, source, payload)
// synchronously on the sender's thread. The span is only valid during the call.
class IListener {
public:
    virtual void OnMessage(std::span<const std::byte> message) = 0;

protected:
    ~IListener() = default;
};
