#include "Dispatcher.h"
#include "RecordingListener.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <thread>
#include <vector>

using dispatcher::Dispatcher;

namespace {

using Pair = std::pair<SubsystemId, MessageId>;
using Message = std::vector<std::byte>;

Pair P(int subsystem, int message)
{
    return {SubsystemId{static_cast<std::uint8_t>(subsystem)}, MessageId{static_cast<std::uint8_t>(message)}};
}

Message Msg(int subsystem, int message, int destination, int source)
{
    return {std::byte(subsystem), std::byte(message), std::byte(destination), std::byte(source), std::byte{0x5A}};
}

Receiver R(int receiver) { return Receiver{static_cast<std::uint8_t>(receiver)}; }

DispatcherHandle Listen(Dispatcher& hub, int receiver, std::vector<Pair> pairs, IListener& listener)
{
    return hub.AddListener(R(receiver), pairs, listener);
}

TEST(DispatcherTest, EmptySubsystemListCarriesSubsystemZeroMessagesZeroToNine)
{
    Dispatcher hub({}, 1);
    std::vector<Pair> expected;
    for (int message = 0; message <= 9; ++message)
        expected.push_back(P(0, message));
    EXPECT_EQ(hub.ListMessages(), expected);
}

struct TableRow {
    int subsystem;
    int highest;
};

class DispatcherTableTest : public ::testing::TestWithParam<TableRow> {};

TEST_P(DispatcherTableTest, SubsystemCarriesMessagesUpToItsHighestNumber)
{
    const SubsystemId listed[] = {SubsystemId{static_cast<std::uint8_t>(GetParam().subsystem)}};
    Dispatcher hub(listed, 1);
    RecordingListener listener;

    EXPECT_TRUE(Listen(hub, 5, {P(GetParam().subsystem, GetParam().highest)}, listener));
    EXPECT_FALSE(Listen(hub, 5, {P(GetParam().subsystem, GetParam().highest + 1)}, listener));

    const auto all = hub.ListMessages();
    const auto count = std::count_if(all.begin(), all.end(), [&](const Pair& pair) {
        return pair.first == SubsystemId{static_cast<std::uint8_t>(GetParam().subsystem)};
    });
    EXPECT_EQ(count, GetParam().highest + 1);
}

INSTANTIATE_TEST_SUITE_P(Subsystems, DispatcherTableTest,
                         ::testing::Values(TableRow{0, 9}, TableRow{1, 27}, TableRow{2, 4}, TableRow{3, 4},
                                           TableRow{4, 3}, TableRow{5, 43}, TableRow{6, 9}, TableRow{7, 8},
                                           TableRow{8, 29}, TableRow{9, 12}, TableRow{10, 99}, TableRow{11, 24},
                                           TableRow{12, 24}, TableRow{13, 43}, TableRow{200, 43}));

TEST(DispatcherTest, ListsSubsystemsAscendingWhateverTheirOrderAndRepeats)
{
    const SubsystemId listed[] = {SubsystemId{4}, SubsystemId{2}, SubsystemId{4}};
    Dispatcher hub(listed, 1);
    std::vector<Pair> expected;
    for (auto [subsystem, highest] : {std::pair{0, 9}, std::pair{2, 4}, std::pair{4, 3}})
        for (int message = 0; message <= highest; ++message)
            expected.push_back(P(subsystem, message));
    EXPECT_EQ(hub.ListMessages(), expected);
}

struct RefusedRegistration {
    const char* name;
    std::vector<Pair> pairs;
};

class DispatcherRefusedTest : public ::testing::TestWithParam<RefusedRegistration> {};

// A refused registration must leave nothing behind: no slot, no bits, no flag.
TEST_P(DispatcherRefusedTest, LeavesNoHalfMadeRegistration)
{
    Dispatcher hub({}, 1);
    RecordingListener refused;

    EXPECT_FALSE(Listen(hub, 7, GetParam().pairs, refused));

    EXPECT_FALSE(hub.IsRegistered(R(7)));
    for (int message = 0; message <= 9; ++message)
        hub.Send(Msg(0, message, 0, 3));
    EXPECT_TRUE(refused.messages.empty());
    RecordingListener others;
    std::vector<DispatcherHandle> handles;
    for (std::size_t slot = 0; slot < Dispatcher::kListenerSlots; ++slot)
        handles.push_back(Listen(hub, 8, {P(0, 1)}, others));
    EXPECT_TRUE(std::all_of(handles.begin(), handles.end(), [](const auto& handle) { return bool(handle); }));
}

INSTANTIATE_TEST_SUITE_P(Pairs, DispatcherRefusedTest,
                         ::testing::Values(RefusedRegistration{"MessageOutsideTable", {P(0, 10)}},
                                           RefusedRegistration{"SubsystemWithoutTable", {P(1, 0)}},
                                           RefusedRegistration{"GoodPairsBeforeABadOne", {P(0, 1), P(0, 2), P(0, 10)}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DeliveryRow {
    int listenerReceiver;
    int destination;
    int source;
    bool delivered;
};

class DispatcherDeliveryTest : public ::testing::TestWithParam<DeliveryRow> {};

TEST_P(DispatcherDeliveryTest, FiltersBySourceAndDestination)
{
    Dispatcher hub({}, 1);
    RecordingListener listener;
    auto handle = Listen(hub, GetParam().listenerReceiver, {P(0, 3)}, listener);
    ASSERT_TRUE(handle);

    const Message message = Msg(0, 3, GetParam().destination, GetParam().source);
    hub.Send(message);

    EXPECT_EQ(listener.messages, GetParam().delivered ? std::vector<Message>{message} : std::vector<Message>{});
}

INSTANTIATE_TEST_SUITE_P(
    Filters, DispatcherDeliveryTest,
    ::testing::Values(DeliveryRow{5, 0, 7, true},    // broadcast
                      DeliveryRow{5, 5, 7, true},    // addressed to it
                      DeliveryRow{5, 6, 7, false},   // addressed to another
                      DeliveryRow{5, 0, 5, false},   // its own message
                      DeliveryRow{5, 5, 5, false},   // its own, even addressed to it
                      DeliveryRow{0, 6, 7, true},    // receiver 0 hears everything ...
                      DeliveryRow{0, 0, 7, true},    //
                      DeliveryRow{0, 0, 0, false},   // ... except from source 0
                      DeliveryRow{0, 9, 0, false}));

TEST(DispatcherTest, IgnoresShortUnknownAndUnsubscribedMessages)
{
    Dispatcher hub({}, 1);
    RecordingListener listener;
    auto handle = Listen(hub, 5, {P(0, 3)}, listener);

    hub.Send(Message{std::byte{0}, std::byte{3}, std::byte{0}});
    hub.Send(Msg(1, 3, 0, 7));
    hub.Send(Msg(0, 10, 0, 7));
    hub.Send(Msg(0, 4, 0, 7));
    hub.Send(Msg(0, 3, 0, 7));

    EXPECT_EQ(listener.messages, std::vector<Message>{Msg(0, 3, 0, 7)});
}

TEST(DispatcherTest, DroppingTheHandleUnregistersAndFreesTheSlot)
{
    Dispatcher hub({}, 1);
    RecordingListener listener;
    auto handle = Listen(hub, 5, {P(0, 1), P(0, 2)}, listener);
    ASSERT_TRUE(handle);
    EXPECT_TRUE(hub.IsRegistered(R(5)));

    handle.reset();

    EXPECT_FALSE(hub.IsRegistered(R(5)));
    hub.Send(Msg(0, 1, 0, 7));
    hub.Send(Msg(0, 2, 5, 7));
    EXPECT_TRUE(listener.messages.empty());
}

TEST(DispatcherTest, ThirtyThreeListenersDoNotFitAndDroppingOneMakesRoom)
{
    Dispatcher hub({}, 1);
    RecordingListener listener;
    std::vector<DispatcherHandle> handles;
    for (std::size_t slot = 0; slot < Dispatcher::kListenerSlots; ++slot)
        handles.push_back(Listen(hub, 5, {P(0, 1)}, listener));
    EXPECT_FALSE(Listen(hub, 5, {P(0, 1)}, listener));

    handles[17].reset();
    handles.push_back(Listen(hub, 6, {P(0, 1)}, listener));
    EXPECT_TRUE(handles.back());

    hub.Send(Msg(0, 1, 0, 7));
    EXPECT_EQ(listener.messages.size(), Dispatcher::kListenerSlots);
}

TEST(DispatcherTest, ReceiverZeroIsNeverMarkedRegistered)
{
    Dispatcher hub({}, 1);
    RecordingListener listener;
    auto handle = Listen(hub, 0, {P(0, 1)}, listener);
    ASSERT_TRUE(handle);
    EXPECT_FALSE(hub.IsRegistered(R(0)));
}

TEST(DispatcherTest, FastMessagesSkipTheSourceAndAListenerRegistersOnce)
{
    Dispatcher hub({}, 1);
    RecordingFastListener first;
    RecordingFastListener second;
    auto firstHandle = hub.AddFastListener(R(3), first);
    auto secondHandle = hub.AddFastListener(R(4), second);
    ASSERT_TRUE(firstHandle);
    ASSERT_TRUE(secondHandle);
    EXPECT_FALSE(hub.AddFastListener(R(9), first));

    hub.SendFast(R(3), 0x1122334455667788u);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, (std::vector<std::pair<std::uint8_t, std::uint64_t>>{{3, 0x1122334455667788u}}));

    secondHandle.reset();
    hub.SendFast(R(7), 1);
    EXPECT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(first.calls.size(), 1u);
}

TEST(DispatcherTest, NineFastListenersDoNotFit)
{
    Dispatcher hub({}, 1);
    std::array<RecordingFastListener, Dispatcher::kFastListenerSlots + 1> listeners;
    std::vector<DispatcherHandle> handles;
    for (std::size_t i = 0; i < Dispatcher::kFastListenerSlots; ++i)
        handles.push_back(hub.AddFastListener(R(1), listeners[i]));
    EXPECT_TRUE(std::all_of(handles.begin(), handles.end(), [](const auto& handle) { return bool(handle); }));
    EXPECT_FALSE(hub.AddFastListener(R(1), listeners.back()));
    handles.front().reset();
    EXPECT_TRUE(hub.AddFastListener(R(1), listeners.back()));
}

struct PoolRow {
    std::uint8_t reservedCount;
    std::vector<int> firstAllocations;
};

class ReceiverPoolTest : public ::testing::TestWithParam<PoolRow> {};

TEST_P(ReceiverPoolTest, HandsOutTheLowestFreeReceivers)
{
    Dispatcher hub({}, GetParam().reservedCount);
    std::vector<int> allocated;
    for (std::size_t i = 0; i < GetParam().firstAllocations.size(); ++i)
        allocated.push_back(static_cast<int>(hub.AllocateReceiver()));
    EXPECT_EQ(allocated, GetParam().firstAllocations);
}

INSTANTIATE_TEST_SUITE_P(ReservedCounts, ReceiverPoolTest,
                         ::testing::Values(PoolRow{0, {1, 2}}, PoolRow{1, {1, 2}}, PoolRow{3, {3, 4}},
                                           PoolRow{18, {18, 20, 21}}, PoolRow{199, {199, 201}},
                                           PoolRow{237, {237}}));

TEST(ReceiverPoolTest, ExhaustedPoolThrowsAndAReleasedReceiverComesBack)
{
    Dispatcher hub({}, 1);
    // 256 minus 0, 19, 200, 238 and 239 to 255.
    constexpr int kFree = 256 - 21;
    for (int i = 0; i < kFree; ++i)
        hub.AllocateReceiver();
    EXPECT_THROW(hub.AllocateReceiver(), std::bad_optional_access);

    hub.ReleaseReceiver(R(42));
    EXPECT_EQ(hub.AllocateReceiver(), R(42));
}

TEST(ReceiverPoolTest, PoolReservedUpTo238HasNothingLeft)
{
    Dispatcher hub({}, 238);
    EXPECT_THROW(hub.AllocateReceiver(), std::bad_optional_access);
}

// Registration and removal may run while another thread delivers; run under
// ThreadSanitizer as well.
TEST(DispatcherTest, DeliveryRunsSafelyWhileListenersComeAndGo)
{
    Dispatcher hub({}, 1);
    CountingListener steady;
    CountingListener changing;
    auto steadyHandle = Listen(hub, 5, {P(0, 1)}, steady);
    std::atomic<bool> done{false};
    constexpr int kMessages = 20000;

    std::thread sender([&] {
        const Message message = Msg(0, 1, 0, 7);
        for (int i = 0; i < kMessages; ++i)
            hub.Send(message);
        done = true;
    });
    for (int round = 0; !done && round < 1000000; ++round) {
        auto handle = Listen(hub, 6, {P(0, 1)}, changing);
        EXPECT_TRUE(handle);
    }
    sender.join();

    EXPECT_EQ(steady.count.load(), kMessages);
}

} // namespace
