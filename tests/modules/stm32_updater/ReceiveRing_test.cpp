#include "ReceiveRing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using stm32_updater::ReceiveRing;

namespace {

TEST(ReceiveRingTest, HoldsSixtyFourUnreadBytesAndDropsTheNext)
{
    ReceiveRing ring;
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(ring.Push(std::byte(i)));
    EXPECT_FALSE(ring.Push(std::byte{0xEE}));

    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(ring.Pop(), std::byte(i));
    EXPECT_EQ(ring.Pop(), std::nullopt);
}

TEST(ReceiveRingTest, KeepsOrderAcrossManyWrapArounds)
{
    ReceiveRing ring;
    for (int round = 0; round < 500; ++round) {
        const int batch = 1 + round % 64;
        for (int i = 0; i < batch; ++i)
            ASSERT_TRUE(ring.Push(std::byte(round + i)));
        for (int i = 0; i < batch; ++i)
            ASSERT_EQ(ring.Pop(), std::byte(round + i));
    }
    EXPECT_EQ(ring.Pop(), std::nullopt);
}

TEST(ReceiveRingTest, DiscardUnreadForgetsEverythingButKeepsWorking)
{
    ReceiveRing ring;
    for (int i = 0; i < 40; ++i)
        ring.Push(std::byte(i));
    ring.DiscardUnread();
    EXPECT_EQ(ring.Pop(), std::nullopt);
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(ring.Push(std::byte(i)));
    EXPECT_FALSE(ring.Push(std::byte{0}));
    EXPECT_EQ(ring.Pop(), std::byte{0});
}

// One producer and one consumer on their own threads, as the port's thread
// and the worker are; run under ThreadSanitizer as well.
TEST(ReceiveRingTest, HandsEveryByteOverInOrderBetweenTwoThreads)
{
    constexpr int kBytes = 200000;
    ReceiveRing ring;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto beforeDeadline = [&] { return std::chrono::steady_clock::now() < deadline; };

    std::thread producer([&] {
        for (int i = 0; i < kBytes && beforeDeadline(); ++i) {
            while (!ring.Push(std::byte(i % 251)) && beforeDeadline())
                std::this_thread::yield();
        }
    });
    int received = 0;
    int outOfOrder = 0;
    while (received < kBytes && beforeDeadline()) {
        if (const auto byte = ring.Pop()) {
            outOfOrder += *byte != std::byte(received % 251);
            ++received;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();

    EXPECT_EQ(received, kBytes);
    EXPECT_EQ(outOfOrder, 0);
}

} // namespace
