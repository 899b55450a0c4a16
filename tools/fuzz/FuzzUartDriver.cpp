#include "FuzzUartDriver.h"

#include <chrono>

namespace {
constexpr std::byte kNack{0x1F};
// About half a byte time at 460800 baud: the line never runs dry for long.
constexpr auto kFillerPause = std::chrono::microseconds(10);
// Far longer than a client takes to send its next command after a reply.
constexpr auto kFillerDelay = std::chrono::microseconds(200);
} // namespace

FuzzUartDriver::FuzzUartDriver() : deliverer_([this] { Deliver(); }) {}

void FuzzUartDriver::Begin(std::span<const std::uint8_t> stream, Filler filler)
{
    std::lock_guard lock(mutex_);
    stream_ = stream;
    fills_ = filler == Filler::On;
    pending_.clear();
    running_ = true;
    asked_ = false;
    changed_.notify_all();
}

void FuzzUartDriver::Finish()
{
    std::lock_guard lock(mutex_);
    running_ = false;
    stream_ = {};
    pending_.clear();
}

FuzzUartDriver::~FuzzUartDriver()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    deliverer_.join();
}

void FuzzUartDriver::Transmit(std::span<const std::byte>)
{
    std::lock_guard lock(mutex_);
    asked_ = true;
    lastTransmit_ = std::chrono::steady_clock::now();
    if (stream_.empty())
        return;
    const std::size_t length = std::min<std::size_t>(stream_[0], stream_.size() - 1);
    for (std::uint8_t byte : stream_.subspan(1, length))
        pending_.push_back(static_cast<std::byte>(byte));
    stream_ = stream_.subspan(1 + length);
    changed_.notify_all();
}

hal::uart::SubscriptionHandle FuzzUartDriver::SubscribeOnRx(const hal::uart::RxByte_ISR& callback)
{
    std::lock_guard lock(mutex_);
    const int id = nextSubscription_++;
    callbacks_.emplace_back(id, callback);
    changed_.notify_all();
    return hal::uart::SubscriptionHandle(new int(id), [this](int* token) {
        std::lock_guard lock(mutex_);
        std::erase_if(callbacks_, [&](const auto& entry) { return entry.first == *token; });
        delete token;
    });
}

void FuzzUartDriver::Deliver()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (callbacks_.empty() || !running_) {
            changed_.wait(lock);
            continue;
        }
        if (!pending_.empty()) {
            callbacks_.back().second(pending_.front());
            pending_.pop_front();
            continue;
        }
        if (fills_ && asked_ && std::chrono::steady_clock::now() - lastTransmit_ >= kFillerDelay)
            callbacks_.back().second(kNack);
        changed_.wait_for(lock, kFillerPause);
    }
}
