#include "WaitUntil.h"
#include "WorkQueue.h"

#include <QThread>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Two threads post at once: every piece runs once, on the queue's own thread,
// and each thread's pieces run in the order that thread posted them.
TEST(WorkQueue, RunsEachPieceOnceOnItsThreadInPostingOrder)
{
    constexpr int kPerPoster = 500;
    WorkQueue queue;
    std::vector<int> ran;
    bool onQueueThread = true;
    const auto post = [&](int first) {
        for (int i = 0; i < kPerPoster; ++i) {
            queue.post([&, value = first + i] {
                onQueueThread = onQueueThread && QThread::currentThread() == queue.thread();
                ran.push_back(value);
            });
        }
    };
    std::thread a(post, 0);
    std::thread b(post, 100000);
    a.join();
    b.join();

    ASSERT_TRUE(waitUntil([&] { return ran.size() == 2 * kPerPoster; }, 10000)) << ran.size();
    EXPECT_TRUE(onQueueThread);
    std::vector<int> fromA;
    std::vector<int> fromB;
    for (const int value : ran)
        (value < 100000 ? fromA : fromB).push_back(value - (value < 100000 ? 0 : 100000));
    std::vector<int> expected(kPerPoster);
    for (int i = 0; i < kPerPoster; ++i)
        expected[i] = i;
    EXPECT_EQ(fromA, expected);
    EXPECT_EQ(fromB, expected);
}

} // namespace
