#include "FakeUartDriver.h"

#include <chrono>

namespace {
// About one byte time at 460800 baud.
constexpr auto kByteTime = std::chrono::microseconds(20);
} // namespace

FakeUartDriver::FakeUartDriver() : deliverer_([this] { Deliver(); }) {}

FakeUartDriver::~FakeUartDriver() { Stop(); }

void FakeUartDriver::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    changed_.notify_all();
    if (deliverer_.joinable())
        deliverer_.join();
}

void FakeUartDriver::Script(Bytes reply)
{
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

void FakeUartDriver::ScriptRepeated(const Bytes& reply, int times)
{
    for (int i = 0; i < times; ++i)
        Script(reply);
}

void FakeUartDriver::ScriptAll(const std::vector<Bytes>& replies)
{
    for (const Bytes& reply : replies)
        Script(reply);
}

void FakeUartDriver::SetFallbackReply(Bytes reply)
{
    std::lock_guard lock(mutex_);
    fallback_ = std::move(reply);
}

void FakeUartDriver::Inject(const Bytes& bytes)
{
    std::lock_guard lock(mutex_);
    QueueLocked(bytes);
}

void FakeUartDriver::QueueLocked(const Bytes& bytes)
{
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    changed_.notify_all();
}

bool FakeUartDriver::WaitDelivered(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return pending_.empty(); });
}

// The callback runs under the lock so that a new subscription never races a
// byte in flight, just as the port's thread runs one slot at a time.
void FakeUartDriver::Deliver()
{
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_)
            return;
        const std::byte byte = pending_.front();
        pending_.pop_front();
        if (callback_)
            callback_(byte);
        changed_.notify_all();
        // Bytes follow each other at line rate, not all at once.
        lock.unlock();
        std::this_thread::sleep_for(kByteTime);
        lock.lock();
    }
}

std::vector<Bytes> FakeUartDriver::Frames() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<std::chrono::steady_clock::time_point> FakeUartDriver::FrameTimes() const
{
    std::lock_guard lock(mutex_);
    return frameTimes_;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> FakeUartDriver::ConfigureCalls() const
{
    std::lock_guard lock(mutex_);
    return configureCalls_;
}

int FakeUartDriver::SubscriptionCount() const
{
    std::lock_guard lock(mutex_);
    return subscriptions_;
}

void FakeUartDriver::Configure(std::uint32_t first, std::uint32_t second)
{
    std::lock_guard lock(mutex_);
    settings_ = {first, second};
    configureCalls_.emplace_back(first, second);
}

std::pair<std::uint32_t, std::uint32_t> FakeUartDriver::GetConfiguration()
{
    std::lock_guard lock(mutex_);
    return settings_;
}

void FakeUartDriver::Transmit(std::span<const std::byte> bytes)
{
    std::lock_guard lock(mutex_);
    frames_.emplace_back(bytes.begin(), bytes.end());
    frameTimes_.push_back(std::chrono::steady_clock::now());
    if (script_.empty()) {
        QueueLocked(fallback_);
        return;
    }
    QueueLocked(script_.front());
    script_.pop_front();
}

// Like the real bridge, the handle holds nothing: the callback stays until the
// next subscription replaces it.
hal::uart::SubscriptionHandle FakeUartDriver::SubscribeOnRx(const hal::uart::RxByte_ISR& callback)
{
    std::lock_guard lock(mutex_);
    callback_ = callback;
    ++subscriptions_;
    return hal::uart::SubscriptionHandle(nullptr, [](int*) {});
}
