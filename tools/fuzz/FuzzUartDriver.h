#pragma once

#include "IUartDriver.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

// A UART whose unit answers from a fuzzed byte stream: the stream is a run of
// records, a length byte and that many bytes, and each transmitted frame is
// answered with the next record. Between records the line carries NACK bytes,
// so a client waiting for more than a record holds gets an answer at once
// instead of sitting out its timeout. The filler starts only when the client
// has been waiting a moment after the last record, so a client that goes on at
// once never sees it. Bytes arrive on a thread of their own, as from the port's
// thread. The line is quiet outside Begin() and Finish().
class FuzzUartDriver final : public hal::uart::IUartDriver {
public:
    FuzzUartDriver();
    ~FuzzUartDriver() override;
    FuzzUartDriver(const FuzzUartDriver&) = delete;
    FuzzUartDriver& operator=(const FuzzUartDriver&) = delete;

    // The unit answers from `stream` (which must outlive the run) until
    // Finish(). Without filler a silent line stays silent: for exact replies
    // that must not meet a stray NACK however slowly the client runs.
    enum class Filler { On, Off };
    void Begin(std::span<const std::uint8_t> stream, Filler filler = Filler::On);
    void Finish();

    void Configure(std::uint32_t, std::uint32_t) override {}
    std::pair<std::uint32_t, std::uint32_t> GetConfiguration() override { return {4, 1}; }
    void Transmit(std::span<const std::byte> bytes) override;
    bool IsTransmitting() override { return false; }
    void AbortTransmit() override {}
    hal::uart::SubscriptionHandle SubscribeOnRx(const hal::uart::RxByte_ISR& callback) override;
    hal::uart::SubscriptionHandle SubscribeOnError(const hal::uart::ErrorCallback&) override { return {}; }
    hal::uart::SubscriptionHandle SubscribeOnTxDone(const std::function<void()>&) override { return {}; }
    hal::uart::SubscriptionHandle SubscribeOnIdle(const std::function<void()>&) override { return {}; }
    bool IsOpen() override { return true; }

private:
    void Deliver();

    std::span<const std::uint8_t> stream_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::byte> pending_;
    // Every live subscription; the newest one receives.
    std::vector<std::pair<int, hal::uart::RxByte_ISR>> callbacks_;
    int nextSubscription_ = 0;
    bool running_ = false;
    bool asked_ = false;
    bool fills_ = true;
    std::chrono::steady_clock::time_point lastTransmit_;
    bool stopping_ = false;
    std::thread deliverer_;
};
