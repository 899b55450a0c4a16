#include "UartInterface.h"

namespace {

hal::uart::SubscriptionHandle nullHandle()
{
    return hal::uart::SubscriptionHandle(nullptr, [](int*) {});
}

} // namespace

UartInterface::UartInterface(QSemaphore* gate, QObject* parent) : QObject(parent), gate(gate)
{
    registerRxCallbackMetaType();
}

void UartInterface::Configure(std::uint32_t, std::uint32_t) {}

std::pair<std::uint32_t, std::uint32_t> UartInterface::GetConfiguration()
{
    return {4, 1};
}

void UartInterface::Transmit(std::span<const std::byte> bytes)
{
    if (bytes.empty())
        return;
    if (!gate->tryAcquire(1, kTransmitTimeoutMs))
        return;
    const auto count = static_cast<int>(bytes.size());
    emit TransmitData(QByteArray(reinterpret_cast<const char*>(bytes.data()), count));
    const int awaited = unreportedBytes + count;
    // On a timeout the frame's bytes stay owed; permits that did arrive stay
    // in the gate and are claimed together with the next frame's.
    unreportedBytes = gate->tryAcquire(awaited, kTransmitTimeoutMs) ? 0 : awaited;
    gate->release(1);
}

bool UartInterface::IsTransmitting()
{
    return false;
}

void UartInterface::AbortTransmit() {}

hal::uart::SubscriptionHandle UartInterface::SubscribeOnRx(const hal::uart::RxByte_ISR& callback)
{
    emit SetRxCallback(callback);
    return nullHandle();
}

hal::uart::SubscriptionHandle UartInterface::SubscribeOnError(const hal::uart::ErrorCallback&)
{
    return nullHandle();
}

hal::uart::SubscriptionHandle UartInterface::SubscribeOnTxDone(const std::function<void()>&)
{
    return {};
}

hal::uart::SubscriptionHandle UartInterface::SubscribeOnIdle(const std::function<void()>&)
{
    return {};
}

bool UartInterface::IsOpen()
{
    return false;
}

void UartInterface::resetTransmitGate()
{
    unreportedBytes = 0;
    const int surplus = gate->available() - 1;
    if (surplus > 0)
        gate->tryAcquire(surplus);
    else if (surplus < 0)
        gate->release(-surplus);
}
