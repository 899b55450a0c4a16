#include "Stm32ClientFixture.h"

#include <QElapsedTimer>

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

// Extended Erase acknowledged, then nothing after the page list: 5000 ms.
TEST_F(Stm32UartTimings, ExtendedEraseWaitIsFiveSeconds)
{
    Connect(script::CommandsWithEraseExt());
    script::GetVersion(uart_);
    uart_.ScriptAll({script::Ack(), {}});
    const qint64 waited = timed([&] {
        Bytes image(0x1808, std::byte{0x5A});
        EXPECT_FALSE(Client().Flash(image, [](IFwUpdater::State, unsigned) {}, 0x08000000));
    });
    EXPECT_GE(waited, 3750);
    EXPECT_LE(waited, 7500);
    std::printf("extended erase wait %lld ms\n", static_cast<long long>(waited));
}

} // namespace
