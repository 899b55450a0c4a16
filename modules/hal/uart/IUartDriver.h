#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>

namespace hal::uart {

// Called once per received byte, on the thread that owns the port.
using RxByte_ISR = std::function<void(std::byte)>;
using ErrorCallback = std::function<void(unsigned)>;
// Dropping a handle undoes its subscription; a handle holding a null pointer
// stands for a subscription that needs no undoing.
using SubscriptionHandle = std::unique_ptr<int, std::function<void(int*)>>;

// A UART as the bootloader client sees it: byte spans out, single bytes in
// through a callback. Knows nothing of the toolkit underneath.
class IUartDriver {
public:
    virtual void Configure(std::uint32_t first, std::uint32_t second) = 0;
    virtual std::pair<std::uint32_t, std::uint32_t> GetConfiguration() = 0;
    // Returns once the bytes have been handed to the wire.
    virtual void Transmit(std::span<const std::byte> bytes) = 0;
    virtual bool IsTransmitting() = 0;
    virtual void AbortTransmit() = 0;
    virtual SubscriptionHandle SubscribeOnRx(const RxByte_ISR& callback) = 0;
    virtual SubscriptionHandle SubscribeOnError(const ErrorCallback& callback) = 0;
    virtual SubscriptionHandle SubscribeOnTxDone(const std::function<void()>& callback) = 0;
    virtual SubscriptionHandle SubscribeOnIdle(const std::function<void()>& callback) = 0;
    virtual bool IsOpen() = 0;
    virtual ~IUartDriver() = default;
};

} // namespace hal::uart
