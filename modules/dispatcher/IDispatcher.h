#pragma once

#include "IFastListener.h"
#include "IListener.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>

enum class SubsystemId : std::uint8_t {};
enum class MessageId : std::uint8_t {};
// Receiver 0 stands for "no particular receiver".
enum class Receiver : std::uint8_t {};

// Dropping a handle undoes its registration; an empty handle means the
// registration failed.
using DispatcherHandle = std::unique_ptr<int, std::function<void(int*)>>;

// Publish/subscribe hub for short byte messages: byte 0 subsystem, byte 1
// message number, byte 2 destination receiver (0 = everyone), byte 3 source
// receiver, then the payload. Not deleted through this interface.
class IDispatcher {
public:
    virtual Receiver AllocateReceiver() = 0;
    virtual void ReleaseReceiver(Receiver receiver) = 0;
    virtual DispatcherHandle AddListener(Receiver receiver,
                                         std::span<const std::pair<SubsystemId, MessageId>> messages,
                                         IListener& listener) = 0;
    virtual DispatcherHandle AddFastListener(Receiver receiver, IFastListener& listener) = 0;
    virtual void Send(std::span<const std::byte> message) = 0;
    virtual void SendFast(Receiver source, std::uint64_t value) = 0;

protected:
    ~IDispatcher() = default;
};
