#pragma once

#include "IMasterDispatcher.h"
#include "ReceiverPool.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

namespace dispatcher {

// In-process hub: up to 32 listeners (one mask bit each) and 8 fast listeners.
// Delivery takes no lock, so listeners may come and go while messages flow.
// Every handle must be dropped before the dispatcher is destroyed.
class Dispatcher final : public IMasterDispatcher {
public:
    // Subsystem 0 always gets its message table; each listed subsystem gets a
    // fresh one. Receivers 1 to reservedCount - 1 are kept out of the pool.
    Dispatcher(std::span<const SubsystemId> subsystems, std::uint8_t reservedCount);
    ~Dispatcher() override;

    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    Receiver AllocateReceiver() override;
    void ReleaseReceiver(Receiver receiver) override;
    DispatcherHandle AddListener(Receiver receiver,
                                 std::span<const std::pair<SubsystemId, MessageId>> messages,
                                 IListener& listener) override;
    DispatcherHandle AddFastListener(Receiver receiver, IFastListener& listener) override;
    void Send(std::span<const std::byte> message) override;
    void SendFast(Receiver source, std::uint64_t value) override;
    std::vector<std::pair<SubsystemId, MessageId>> ListMessages() override;
    bool IsRegistered(Receiver receiver) override;

    static constexpr std::size_t kListenerSlots = 32;
    static constexpr std::size_t kFastListenerSlots = 8;

private:
    enum SlotState : std::uint8_t { Free = 0, Active = 1, Removing = 2 };

    struct ListenerSlot {
        std::atomic<std::uint8_t> receiver{0};
        std::atomic<std::uint8_t> state{Free};
        std::atomic<IListener*> listener{nullptr};
    };
    struct MaskArray {
        std::unique_ptr<std::atomic<std::uint32_t>[]> masks;
        std::size_t count = 0;
    };
    struct FastSlot {
        std::atomic<std::uint8_t> receiver{0};
        std::atomic<IFastListener*> listener{nullptr};
    };
    using MessageList = std::vector<std::pair<SubsystemId, MessageId>>;

    std::atomic<std::uint32_t>* Mask(SubsystemId subsystem, MessageId message);
    bool AllKnown(std::span<const std::pair<SubsystemId, MessageId>> messages);
    bool Wants(const ListenerSlot& slot, std::uint8_t destination, std::uint8_t source) const;
    void RemoveListener(std::size_t index, std::uint32_t bit, Receiver receiver, const MessageList& messages);
    void RemoveFastListener(IFastListener* listener);

    std::array<ListenerSlot, kListenerSlots> slots_;
    std::vector<MaskArray> masks_;
    std::array<FastSlot, kFastListenerSlots> fastSlots_;
    std::mutex registrationLock_;
    std::array<std::atomic<std::uint8_t>, 256> registered_{};
    ReceiverPool pool_;
};

} // namespace dispatcher
