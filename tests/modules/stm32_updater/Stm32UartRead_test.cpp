#include "Stm32ClientFixture.h"

using script::Of;

namespace {

class Stm32ReadTest : public Stm32ClientFixture {};

TEST_F(Stm32ReadTest, SeventyBytesAreReadIn32And32And6)
{
    Connect();
    Bytes memory(70);
    for (std::size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<std::byte>(0xA0 ^ i);
    for (std::size_t offset : {0, 32, 64}) {
        uart_.ScriptRepeated(script::Ack(), 2);
        Bytes reply = script::Ack();
        const std::size_t count = std::min<std::size_t>(32, memory.size() - offset);
        reply.insert(reply.end(), memory.begin() + static_cast<std::ptrdiff_t>(offset),
                     memory.begin() + static_cast<std::ptrdiff_t>(offset + count));
        uart_.Script(reply);
    }

    EXPECT_EQ(Client().ReadMemory(0x1FFF7000, 70), memory);

    EXPECT_EQ(FramesAfterConnect(),
              (std::vector<Bytes>{Of({0x11, 0xEE}), AddressFrame(0x1FFF7000), Of({0x1F, 0xE0}), Of({0x11, 0xEE}),
                                  AddressFrame(0x1FFF7020), Of({0x1F, 0xE0}), Of({0x11, 0xEE}),
                                  AddressFrame(0x1FFF7040), Of({0x05, 0xFA})}));
    EXPECT_TRUE(log_.Entries().empty());
}

Bytes AckThen32Bytes()
{
    Bytes reply = script::Ack();
    reply.resize(33, std::byte{0x55});
    return reply;
}

class Stm32ReadFaultTest : public Stm32ClientFixture, public ::testing::WithParamInterface<ScriptedFault> {};

TEST_P(Stm32ReadFaultTest, FailedReadGivesNothingAndLogsTheFault)
{
    Connect();
    uart_.ScriptAll(GetParam().replies);

    EXPECT_TRUE(Client().ReadMemory(0x1FFF7000, 64).empty());
    EXPECT_TRUE(LogContains(GetParam().logged)) << ::testing::PrintToString(log_.Texts());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Stm32ReadFaultTest,
    ::testing::Values(ScriptedFault{"CommandNacked", {Of({0x1F})}, "NACK received, command Read"},
                      ScriptedFault{"AddressNacked", {Of({0x79}), Of({0x1F})}, "NACK received, command Read"},
                      ScriptedFault{"DataCutShort", {Of({0x79}), Of({0x79}), Of({0x79, 1, 2, 3})},
                                "receive timeout for 32 bytes, command Read"},
                      ScriptedFault{"CountNacked", {Of({0x79}), Of({0x79}), Of({0x1F})}, "NACK received, command Read"},
                      ScriptedFault{"SecondBlockSilent",
                                {Of({0x79}), Of({0x79}), AckThen32Bytes()},
                                "receive timeout for 1 bytes, command Read"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
