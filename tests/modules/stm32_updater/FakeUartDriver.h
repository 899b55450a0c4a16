#pragma once

#include "IUartDriver.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using Bytes = std::vector<std::byte>;

// A UART that plays a scripted bootloader: it records every transmitted frame
// and answers the n-th frame with the n-th scripted reply, delivering the bytes
// one by one through the subscribed callback on a thread of its own, as the
// port's thread does. When the script is used up every frame gets the fallback
// reply; an empty reply is silence.
class FakeUartDriver final : public hal::uart::IUartDriver {
public:
    FakeUartDriver();
    ~FakeUartDriver() override;

    void Script(Bytes reply);
    void ScriptRepeated(const Bytes& reply, int times);
    void ScriptAll(const std::vector<Bytes>& replies);
    void SetFallbackReply(Bytes reply);
    // Bytes nobody asked for, as a running unit would send them.
    void Inject(const Bytes& bytes);
    // Waits (bounded) until every queued byte has reached the callback.
    bool WaitDelivered(int timeoutMs);
    // Stops delivering; queued bytes are dropped. Call before the receiver dies.
    void Stop();

    std::vector<Bytes> Frames() const;
    // When each frame was transmitted, in the same order.
    std::vector<std::chrono::steady_clock::time_point> FrameTimes() const;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ConfigureCalls() const;
    int SubscriptionCount() const;

    void Configure(std::uint32_t first, std::uint32_t second) override;
    std::pair<std::uint32_t, std::uint32_t> GetConfiguration() override;
    void Transmit(std::span<const std::byte> bytes) override;
    bool IsTransmitting() override { return false; }
    void AbortTransmit() override {}
    hal::uart::SubscriptionHandle SubscribeOnRx(const hal::uart::RxByte_ISR& callback) override;
    hal::uart::SubscriptionHandle SubscribeOnError(const hal::uart::ErrorCallback&) override { return {}; }
    hal::uart::SubscriptionHandle SubscribeOnTxDone(const std::function<void()>&) override { return {}; }
    hal::uart::SubscriptionHandle SubscribeOnIdle(const std::function<void()>&) override { return {}; }
    bool IsOpen() override { return true; }

    static constexpr std::pair<std::uint32_t, std::uint32_t> kInitialSettings{4, 1};

private:
    void Deliver();
    void QueueLocked(const Bytes& bytes);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Bytes> script_;
    Bytes fallback_;
    std::deque<std::byte> pending_;
    bool stopping_ = false;
    hal::uart::RxByte_ISR callback_;
    int subscriptions_ = 0;
    std::vector<Bytes> frames_;
    std::vector<std::chrono::steady_clock::time_point> frameTimes_;
    std::pair<std::uint32_t, std::uint32_t> settings_ = kInitialSettings;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> configureCalls_;
    std::thread deliverer_;
};
