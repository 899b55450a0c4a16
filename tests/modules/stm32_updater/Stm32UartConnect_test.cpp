#include "Stm32ClientFixture.h"

#include <regex>

using script::Of;

namespace {

class Stm32ConnectTest : public Stm32ClientFixture {};

TEST_F(Stm32ConnectTest, HandshakeSendsInitGetAndGetIdAfterTheResetSequence)
{
    script::Connect(uart_);
    ASSERT_TRUE(Client().ConnectDevice());

    EXPECT_EQ(uart_.Frames(), (std::vector<Bytes>{Of({0x7F}), Of({0x00, 0xFF}), Of({0x02, 0xFD})}));
    EXPECT_EQ(events_, (std::vector<std::string>{"reset+", "pre", "reset+", "boot+", "reset-", "post"}));
    EXPECT_EQ(uart_.ConfigureCalls(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{kUartMode, 1}}));
    EXPECT_EQ(uart_.SubscriptionCount(), 1);
    EXPECT_TRUE(log_.Entries().empty());

    Client().DisconnectDevice();
    EXPECT_EQ(uart_.ConfigureCalls().back(), FakeUartDriver::kInitialSettings);
}

// More bytes than the ring holds: some are dropped, and every one leaves a
// permit behind that the handshake must look past.
TEST_F(Stm32ConnectTest, BytesFromTheRunningUnitAreDiscardedBeforeInit)
{
    Bytes chatter(100, std::byte{0x1F});
    chatter.front() = std::byte{0x42};
    client_ = std::make_unique<stm32_updater::Stm32UartUpdater>(
        [](bool) {}, [](bool) {}, &uart_, &dispatcher_, &writeLock_, true, false,
        [this, &chatter] {
            uart_.Inject(chatter);
            ASSERT_TRUE(uart_.WaitDelivered(5000));
        },
        [] {}, kUartMode);
    script::Connect(uart_);

    EXPECT_TRUE(client_->ConnectDevice());
}

TEST_F(Stm32ConnectTest, AcceptsBootloaderVersions31And33AndAFullGetReplyOf64Bytes)
{
    const Bytes fullList(63, std::byte{0x31});
    for (const auto& [version, commands] : {std::pair{0x31, script::CommandsWithErase()},
                                            std::pair{0x33, script::CommandsWithErase()}, std::pair{0x31, fullList}}) {
        SCOPED_TRACE(version);
        uart_.Script(script::Ack());
        uart_.Script(script::GetReply(static_cast<std::uint8_t>(version), commands));
        uart_.Script(script::GetIdReply(Of({0x04, 0x79})));
        EXPECT_TRUE(Client().ConnectDevice());
    }
    EXPECT_TRUE(log_.Entries().empty());
}

struct ConnectFault {
    const char* name;
    std::vector<Bytes> replies;
    const char* logged;
    std::size_t framesSent;
};

class Stm32ConnectFaultTest : public Stm32ClientFixture, public ::testing::WithParamInterface<ConnectFault> {};

TEST_P(Stm32ConnectFaultTest, FailsWithTheFaultInTheErrorLog)
{
    uart_.ScriptAll(GetParam().replies);

    EXPECT_FALSE(Client().ConnectDevice());

    ASSERT_EQ(log_.Entries().size(), 1u) << ::testing::PrintToString(log_.Texts());
    EXPECT_TRUE(LogContains(GetParam().logged)) << log_.Texts().front();
    EXPECT_EQ(uart_.Frames().size(), GetParam().framesSent);
}

const Bytes kGet = script::CommandsWithErase();

INSTANTIATE_TEST_SUITE_P(
    Replies, Stm32ConnectFaultTest,
    ::testing::Values(
        ConnectFault{"FirstByteIsTheNackOf79", {Of({0x1F})}, "Invalid ACK byte setup 0x1f, command Init con", 1},
        ConnectFault{"FirstByteIsGarbage", {Of({0x42})}, "Invalid ACK byte setup 0x42, command Init con", 1},
        ConnectFault{"SilentLine", {}, "receive timeout for 1 bytes, command Init con", 2},
        ConnectFault{"GarbageAfterTheSecondInit", {{}, Of({0x42})}, "Invalid ACK byte setup 0x42, command Init con", 2},
        ConnectFault{"GetNacked", {Of({0x79}), Of({0x1F})}, "NACK received, command Get", 2},
        ConnectFault{"GarbageWhereAckBelongs", {Of({0x79}), Of({0x42})}, "Invalid ACK/NACK received 0x42, command Get",
                     2},
        ConnectFault{"GetAnnounces65Bytes", {Of({0x79}), Of({0x79, 64})}, "Too many bytes to receive, command Get", 2},
        ConnectFault{"GetReplyCutShort", {Of({0x79}), Of({0x79, 3, 0x31})}, "receive timeout for 4 bytes, command Get",
                     2},
        ConnectFault{"WrongProtocolVersion", {Of({0x79}), script::GetReply(0x22, kGet)}, "protocol version wrong: 0x22", 2},
        ConnectFault{"FinalAckOfGetMissing",
                     {Of({0x79}), Of({0x79, 0, 0x22})},
                     "receive timeout for 1 bytes, command Get",
                     2},
        ConnectFault{"GetIdOfThreeBytes",
                     {Of({0x79}), script::GetReply(0x31, kGet), Of({0x79, 2, 0x04, 0x69, 0x00, 0x79})},
                     "Too many bytes, not 3",
                     3},
        ConnectFault{"OneByteProductId",
                     {Of({0x79}), script::GetReply(0x31, kGet), script::GetIdReply(Of({0x69}))},
                     "product ID not supported: 0x0069",
                     3},
        ConnectFault{"UnknownProduct",
                     {Of({0x79}), script::GetReply(0x31, kGet), script::GetIdReply(Of({0x04, 0x10}))},
                     "product ID not supported: 0x0410",
                     3}),
    [](const auto& info) { return std::string(info.param.name); });

// A bootloader synchronised earlier takes 0x7F as the first byte of a
// command: it stays silent, and the second 0x7F makes a bad command of the
// pair that it answers with its NACK.
struct ResyncCase {
    const char* name;
    std::uint8_t ack;
    std::uint8_t secondReply;
};

class Stm32ResyncTest : public Stm32ClientFixture, public ::testing::WithParamInterface<ResyncCase> {};

TEST_P(Stm32ResyncTest, SilenceAfterInitIsFollowedByOneMoreInit)
{
    uart_.Script({});
    uart_.Script(Of({GetParam().secondReply}));
    uart_.Script(script::GetReply(0x31, script::CommandsWithErase(), GetParam().ack));
    uart_.Script(script::GetIdReply(Of({0x04, 0x69}), GetParam().ack));

    ASSERT_TRUE(Client().ConnectDevice()) << ::testing::PrintToString(log_.Texts());

    EXPECT_EQ(uart_.Frames(), (std::vector<Bytes>{Of({0x7F}), Of({0x7F}), Of({0x00, 0xFF}), Of({0x02, 0xFD})}));
    EXPECT_TRUE(log_.Entries().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, Stm32ResyncTest,
                         ::testing::Values(ResyncCase{"Nack1F", 0x79, 0x1F}, ResyncCase{"Nack3F", 0x75, 0x3F},
                                           ResyncCase{"Ack79", 0x79, 0x79}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stm32ConnectTest, A75DeviceIsDrivenWith75And3FForTheLifeOfTheClient)
{
    script::Connect(uart_, script::CommandsWithErase(), 0x75);
    ASSERT_TRUE(Client().ConnectDevice());

    // 0x3F now means NACK; 0x79 is no longer an acknowledgement at all.
    uart_.Script(Of({0x3F}));
    EXPECT_TRUE(Client().ReadMemory(0x08000000, 4).empty());
    EXPECT_TRUE(LogContains("NACK received, command Read"));

    uart_.Script(Of({0x79}));
    EXPECT_FALSE(Client().ConnectDevice());
    EXPECT_TRUE(LogContains("Invalid ACK/NACK received 0x79, command Init con"));

    script::Connect(uart_, script::CommandsWithErase(), 0x75);
    EXPECT_TRUE(Client().ConnectDevice());
}

TEST_F(Stm32ConnectTest, ErrorTextNamesTheSourceFileAndLineAndTravelsAsLevel3FromSourceEE)
{
    uart_.Script(Of({0x1F}));
    ASSERT_FALSE(Client().ConnectDevice());

    ASSERT_EQ(log_.Entries().size(), 1u);
    const LogCapture::Entry& entry = log_.Entries().front();
    EXPECT_EQ(entry.level, 3);
    EXPECT_EQ(entry.source, 0xEE);
    EXPECT_EQ(entry.destination, 0);
    EXPECT_TRUE(std::regex_match(
        entry.text, std::regex("Stm32UartUpdaterReceive\\.cpp:[0-9]+ Invalid ACK byte setup 0x1f, command Init con")))
        << entry.text;
}

} // namespace
