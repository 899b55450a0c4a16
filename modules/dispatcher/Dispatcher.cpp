#include "Dispatcher.h"

#include <bit>

namespace dispatcher {

namespace {

constexpr std::uint8_t kHighestMessage[] = {9, 27, 4, 4, 3, 43, 9, 8, 29, 12, 99, 24, 24};
constexpr std::uint8_t kHighestMessageOtherwise = 43;

std::size_t MessageCount(SubsystemId subsystem)
{
    const auto index = static_cast<std::size_t>(subsystem);
    const std::uint8_t highest = index < std::size(kHighestMessage) ? kHighestMessage[index] : kHighestMessageOtherwise;
    return std::size_t{highest} + 1;
}

std::uint8_t ToByte(auto id) { return static_cast<std::uint8_t>(id); }

} // namespace

Dispatcher::Dispatcher(std::span<const SubsystemId> subsystems, std::uint8_t reservedCount)
    : pool_(reservedCount)
{
    auto addTable = [this](SubsystemId subsystem) {
        const auto index = static_cast<std::size_t>(subsystem);
        if (masks_.size() <= index)
            masks_.resize(index + 1);
        const std::size_t count = MessageCount(subsystem);
        masks_[index].masks = std::make_unique<std::atomic<std::uint32_t>[]>(count);
        masks_[index].count = count;
    };
    addTable(SubsystemId{0});
    for (SubsystemId subsystem : subsystems)
        addTable(subsystem);
}

Dispatcher::~Dispatcher() = default;

Receiver Dispatcher::AllocateReceiver() { return pool_.Allocate(); }

void Dispatcher::ReleaseReceiver(Receiver receiver) { pool_.Release(receiver); }

std::atomic<std::uint32_t>* Dispatcher::Mask(SubsystemId subsystem, MessageId message)
{
    const auto index = static_cast<std::size_t>(subsystem);
    if (index >= masks_.size() || !masks_[index].masks)
        return nullptr;
    const auto number = static_cast<std::size_t>(message);
    return number < masks_[index].count ? &masks_[index].masks[number] : nullptr;
}

bool Dispatcher::AllKnown(std::span<const std::pair<SubsystemId, MessageId>> messages)
{
    for (const auto& [subsystem, message] : messages) {
        if (!Mask(subsystem, message))
            return false;
    }
    return true;
}

// A pair outside the tables is refused before the slot or any bit is touched,
// so a failed registration leaves nothing behind.
DispatcherHandle Dispatcher::AddListener(Receiver receiver,
                                         std::span<const std::pair<SubsystemId, MessageId>> messages,
                                         IListener& listener)
{
    std::lock_guard lock(registrationLock_);
    if (!AllKnown(messages))
        return {};
    std::size_t index = 0;
    while (index < slots_.size() && slots_[index].state.load(std::memory_order_acquire) != Free)
        ++index;
    if (index == slots_.size())
        return {};

    ListenerSlot& slot = slots_[index];
    slot.receiver.store(ToByte(receiver), std::memory_order_relaxed);
    slot.listener.store(&listener, std::memory_order_relaxed);
    slot.state.store(Active, std::memory_order_release);
    const std::uint32_t bit = std::uint32_t{1} << index;
    for (const auto& [subsystem, message] : messages)
        Mask(subsystem, message)->fetch_or(bit, std::memory_order_acq_rel);
    if (ToByte(receiver) != 0)
        registered_[ToByte(receiver)].store(1, std::memory_order_release);

    MessageList kept(messages.begin(), messages.end());
    return DispatcherHandle(reinterpret_cast<int*>(1), [this, index, bit, receiver, kept](int*) {
        RemoveListener(index, bit, receiver, kept);
    });
}

void Dispatcher::RemoveListener(std::size_t index, std::uint32_t bit, Receiver receiver, const MessageList& messages)
{
    std::lock_guard lock(registrationLock_);
    slots_[index].state.store(Removing, std::memory_order_release);
    for (const auto& [subsystem, message] : messages)
        Mask(subsystem, message)->fetch_and(~bit, std::memory_order_acq_rel);
    registered_[ToByte(receiver)].store(0, std::memory_order_release);
    slots_[index].state.store(Free, std::memory_order_release);
}

DispatcherHandle Dispatcher::AddFastListener(Receiver receiver, IFastListener& listener)
{
    std::lock_guard lock(registrationLock_);
    FastSlot* freeSlot = nullptr;
    for (FastSlot& slot : fastSlots_) {
        IFastListener* occupant = slot.listener.load(std::memory_order_acquire);
        if (occupant == &listener)
            return {};
        if (!occupant && !freeSlot)
            freeSlot = &slot;
    }
    if (!freeSlot)
        return {};
    freeSlot->receiver.store(ToByte(receiver), std::memory_order_relaxed);
    freeSlot->listener.store(&listener, std::memory_order_release);
    return DispatcherHandle(reinterpret_cast<int*>(1), [this, &listener](int*) { RemoveFastListener(&listener); });
}

void Dispatcher::RemoveFastListener(IFastListener* listener)
{
    std::lock_guard lock(registrationLock_);
    for (FastSlot& slot : fastSlots_) {
        if (slot.listener.load(std::memory_order_acquire) == listener)
            slot.listener.store(nullptr, std::memory_order_release);
    }
}

bool Dispatcher::Wants(const ListenerSlot& slot, std::uint8_t destination, std::uint8_t source) const
{
    if (slot.state.load(std::memory_order_acquire) != Active)
        return false;
    const std::uint8_t receiver = slot.receiver.load(std::memory_order_relaxed);
    if (receiver == source)
        return false;
    return destination == 0 || destination == receiver || receiver == 0;
}

void Dispatcher::Send(std::span<const std::byte> message)
{
    if (message.size() < 4)
        return;
    std::atomic<std::uint32_t>* mask = Mask(SubsystemId{ToByte(message[0])}, MessageId{ToByte(message[1])});
    if (!mask)
        return;
    const std::uint8_t destination = ToByte(message[2]);
    const std::uint8_t source = ToByte(message[3]);
    for (std::uint32_t bits = mask->load(std::memory_order_acquire); bits != 0; bits &= bits - 1) {
        const ListenerSlot& slot = slots_[static_cast<std::size_t>(std::countr_zero(bits))];
        if (!Wants(slot, destination, source))
            continue;
        if (IListener* listener = slot.listener.load(std::memory_order_acquire))
            listener->OnMessage(message);
    }
}

void Dispatcher::SendFast(Receiver source, std::uint64_t value)
{
    for (FastSlot& slot : fastSlots_) {
        IFastListener* listener = slot.listener.load(std::memory_order_acquire);
        if (listener && slot.receiver.load(std::memory_order_relaxed) != ToByte(source))
            listener->OnFastMessage(ToByte(source), value);
    }
}

std::vector<std::pair<SubsystemId, MessageId>> Dispatcher::ListMessages()
{
    MessageList all;
    for (std::size_t subsystem = 0; subsystem < masks_.size(); ++subsystem) {
        for (std::size_t message = 0; masks_[subsystem].masks && message < masks_[subsystem].count; ++message)
            all.emplace_back(SubsystemId{static_cast<std::uint8_t>(subsystem)}, MessageId{static_cast<std::uint8_t>(message)});
    }
    return all;
}

bool Dispatcher::IsRegistered(Receiver receiver)
{
    return registered_[ToByte(receiver)].load(std::memory_order_acquire) != 0;
}

} // namespace dispatcher
