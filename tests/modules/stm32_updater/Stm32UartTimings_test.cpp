#include "Stm32ClientFixture.h"

#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <string>

using script::Of;

namespace {

// How long the client waits for a bootloader that falls silent, measured from
// outside around one operation. Each window leaves out half and double.
class Stm32UartTimings : public Stm32ClientFixture {
protected:
    template <typename Operation>
    static qint64 timed(Operation operation)
    {
        QElapsedTimer clock;
        clock.start();
        operation();
        return clock.elapsed();
    }
};

// Command and address acknowledged, then nothing: one reply wait of 1000 ms.
TEST_F(Stm32UartTimings, ReplyWaitIsOneSecond)
{
    Connect();
    uart_.ScriptAll({script::Ack(), script::Ack(), {}});
    const qint64 waited = timed([&] { EXPECT_TRUE(Client().ReadMemory(0x1FFF7000, 32).empty()); });
    EXPECT_GE(waited, 750);
    EXPECT_LE(waited, 1500);
    std::printf("reply wait %lld ms\n", static_cast<long long>(waited));
}

struct EraseWaitCase {
    const char* name;
    Bytes commands;
    std::size_t pages;
    qint64 expectedMs;
};

class Stm32EraseWait : public Stm32UartTimings, public ::testing::WithParamInterface<EraseWaitCase> {};

// The erase command and its page list acknowledged up to the list, then
// nothing: the client gives up after 1 s plus 40 ms for each page in the
// list, timed on the scripted line from the moment the list went out.
TEST_P(Stm32EraseWait, ScalesWithThePagesInTheList)
{
    const EraseWaitCase& c = GetParam();
    Connect(c.commands);
    script::GetVersion(uart_);
    uart_.ScriptAll({script::Ack(), {}});
    const Bytes image(c.pages * 0x800, std::byte{0x5A});
    EXPECT_FALSE(Client().Flash(image, [](IFwUpdater::State, unsigned) {}, 0x08000000));
    const auto gaveUp = std::chrono::steady_clock::now();

    const auto frames = FramesAfterConnect();
    ASSERT_EQ(frames.size(), 3u) << "Get Version, the erase command, its page list";
    ASSERT_EQ(frames[2].size(), c.commands == script::CommandsWithErase() ? c.pages + 2 : 2 * c.pages + 3);
    const qint64 waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(gaveUp - uart_.FrameTimes().back()).count();
    EXPECT_GE(waited, c.expectedMs * 85 / 100);
    EXPECT_LE(waited, c.expectedMs * 3 / 2);
    std::printf("%s of %zu pages: reply wait %lld ms\n", c.name, c.pages, static_cast<long long>(waited));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Stm32EraseWait,
    ::testing::Values(EraseWaitCase{"Erase", script::CommandsWithErase(), 20, 1800},
                      EraseWaitCase{"Erase", script::CommandsWithErase(), 128, 6120},
                      EraseWaitCase{"ExtendedErase", script::CommandsWithEraseExt(), 20, 1800},
                      EraseWaitCase{"ExtendedErase", script::CommandsWithEraseExt(), 128, 6120}),
    [](const auto& info) { return std::string(info.param.name) + std::to_string(info.param.pages) + "Pages"; });

} // namespace
