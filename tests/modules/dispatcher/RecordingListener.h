#pragma once

#include "IFastListener.h"
#include "IListener.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Keeps a copy of every message it is given.
class RecordingListener final : public IListener {
public:
    void OnMessage(std::span<const std::byte> message) override { messages.emplace_back(message.begin(), message.end()); }

    std::vector<std::vector<std::byte>> messages;
};

class RecordingFastListener final : public IFastListener {
public:
    void OnFastMessage(std::uint8_t source, std::uint64_t value) override { calls.emplace_back(source, value); }

    std::vector<std::pair<std::uint8_t, std::uint64_t>> calls;
};

// Counts deliveries; safe to call from several threads.
class CountingListener final : public IListener {
public:
    void OnMessage(std::span<const std::byte>) override { count.fetch_add(1, std::memory_order_relaxed); }

    std::atomic<int> count{0};
};
