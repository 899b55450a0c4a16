#include "Stm32ClientFixture.h"

#include "ExceptionString.h"

#include <thread>

using script::Of;

namespace {

constexpr std::uint32_t kBase = 0x08000000;

Bytes Image(std::size_t size)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::byte>(i * 7 + 3);
    return image;
}

class Stm32FlashTest : public Stm32ClientFixture {
protected:
    // Connects to a unit that answers every later frame with ACK.
    void ConnectAndAckEverything(const Bytes& commands = script::CommandsWithErase())
    {
        Connect(commands);
        script::GetVersion(uart_);
        uart_.SetFallbackReply(script::Ack());
    }

    bool Flash(const Bytes& image, std::uint32_t address = kBase)
    {
        return Client().Flash(image, [this](IFwUpdater::State state, unsigned percent) {
            EXPECT_EQ(state, IFwUpdater::State::Writing);
            progress_.push_back(percent);
        }, address);
    }

    std::vector<unsigned> progress_;
};

TEST_F(Stm32FlashTest, ImageOf2008BytesErasesFivePagesWritesThirtyTwoBlocksThenTheTrailer)
{
    ConnectAndAckEverything();
    const Bytes image = Image(0x2008);

    ASSERT_TRUE(Flash(image));

    const auto frames = FramesAfterConnect();
    ASSERT_EQ(frames.size(), 3u + 33 * 3);
    EXPECT_EQ(frames[0], Of({0x01, 0xFE}));
    EXPECT_EQ(frames[1], Of({0x43, 0xBC}));
    EXPECT_EQ(frames[2], Of({0x04, 0x00, 0x01, 0x02, 0x03, 0x04, 0x00}));
    for (std::size_t block = 0; block < 32; ++block) {
        SCOPED_TRACE(block);
        const std::size_t at = 3 + block * 3;
        EXPECT_EQ(frames[at], Of({0x31, 0xCE}));
        EXPECT_EQ(frames[at + 1], AddressFrame(static_cast<std::uint32_t>(kBase + block * 256)));
        Bytes data{std::byte{0xFF}};
        data.insert(data.end(), image.begin() + block * 256, image.begin() + (block + 1) * 256);
        EXPECT_EQ(frames[at + 2], WithChecksum(data));
    }
    EXPECT_EQ(frames[99], Of({0x31, 0xCE}));
    EXPECT_EQ(frames[100], AddressFrame(kBase + 0x2000));
    Bytes trailer{std::byte{0x07}};
    trailer.insert(trailer.end(), image.end() - 8, image.end() - 4);
    trailer.insert(trailer.end(), {std::byte{1}, std::byte{0}, std::byte{0}, std::byte{0}});
    EXPECT_EQ(frames[101], WithChecksum(trailer));

    EXPECT_EQ(progress_, (std::vector<unsigned>{0, 100}));
    EXPECT_EQ(events_, (std::vector<std::string>{"pre", "boot-", "reset+", "post"}));
    EXPECT_TRUE(log_.Entries().empty());
}

TEST_F(Stm32FlashTest, ProgressIsReportedEvery8KiBOfTheBody)
{
    ConnectAndAckEverything();
    ASSERT_TRUE(Flash(Image(0x8008)));
    EXPECT_EQ(progress_, (std::vector<unsigned>{0, 25, 50, 75, 100}));
}

TEST_F(Stm32FlashTest, TrailerFlagFalseClearsByteFourAndAShortLastBlockKeepsItsLength)
{
    Client(/*trailerFlag=*/false);
    ConnectAndAckEverything();
    Bytes image = Image(0x10C);
    std::fill(image.end() - 4, image.end(), std::byte{0xAA});

    ASSERT_TRUE(Flash(image, 0x08004000));

    const auto frames = FramesAfterConnect();
    ASSERT_EQ(frames.size(), 3u + 3 * 3);
    // 0x08004000 is the start of page 8 of the 2 KiB pages.
    EXPECT_EQ(frames[2], Of({0x00, 0x08, 0x08}));
    EXPECT_EQ(frames[5].size(), 1u + 256 + 1);
    EXPECT_EQ(frames[7], AddressFrame(0x08004100));
    Bytes tail{std::byte{0x03}};
    tail.insert(tail.end(), image.begin() + 256, image.begin() + 260);
    EXPECT_EQ(frames[8], WithChecksum(tail));
    EXPECT_EQ(frames[10], AddressFrame(0x08004104));
    Bytes trailer{std::byte{0x07}};
    trailer.insert(trailer.end(), image.end() - 8, image.end() - 4);
    trailer.insert(trailer.end(), {std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0}});
    EXPECT_EQ(frames[11], WithChecksum(trailer));
    EXPECT_FALSE(Client().GetTrailerFlag());
}

struct EraseCase {
    const char* name;
    bool extended;
    bool globalErase;
    Bytes command;
    Bytes list;
};

class Stm32EraseTest : public Stm32FlashTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(Stm32EraseTest, SendsTheEraseFrameTheUnitListed)
{
    Client(true, GetParam().globalErase);
    ConnectAndAckEverything(GetParam().extended ? script::CommandsWithEraseExt() : script::CommandsWithErase());

    ASSERT_TRUE(Flash(Image(0x1808)));

    const auto frames = FramesAfterConnect();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[1], GetParam().command);
    EXPECT_EQ(frames[2], GetParam().list);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, Stm32EraseTest,
    ::testing::Values(EraseCase{"PageList", false, false, Of({0x43, 0xBC}), Of({0x03, 0x00, 0x01, 0x02, 0x03, 0x03})},
                      EraseCase{"GlobalErase", false, true, Of({0x43, 0xBC}), Of({0xFF, 0x00})},
                      EraseCase{"ExtendedPageList",
                                true,
                                false,
                                Of({0x44, 0xBB}),
                                Of({0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x03})},
                      EraseCase{"ExtendedMassErase", true, true, Of({0x44, 0xBB}), Of({0xFF, 0xFF, 0x00})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stm32FlashTest, UnitWithoutEraseCommandsIsWrittenUnerasedAndTheLogSaysSo)
{
    ConnectAndAckEverything(Of({0x00, 0x01, 0x02, 0x31}));

    ASSERT_TRUE(Flash(Image(16)));

    const auto frames = FramesAfterConnect();
    ASSERT_EQ(frames.size(), 1u + 2 * 3);
    EXPECT_EQ(frames[1], Of({0x31, 0xCE}));
    ASSERT_EQ(log_.Texts(), (std::vector<std::string>{"No erase methods"}));
}

TEST_F(Stm32FlashTest, ImagesShorterThan8BytesOrNotWholeWordsAreRefusedBeforeAnyTraffic)
{
    ConnectAndAckEverything();
    for (std::size_t size : {0, 4, 7, 10, 13, 0x2006}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(Flash(Image(size)));
        EXPECT_TRUE(LogContains("image of " + std::to_string(size) +
                                " bytes refused: needs 8 or more bytes, a multiple of 4"));
    }
    EXPECT_TRUE(FramesAfterConnect().empty());
    EXPECT_TRUE(progress_.empty());
    EXPECT_TRUE(events_.empty());
}

TEST_F(Stm32FlashTest, FreshClientFailsAtGetVersion)
{
    EXPECT_FALSE(Flash(Image(16)));
    EXPECT_TRUE(LogContains("Invalid DFU version, command Get Ver Rops"));
    EXPECT_TRUE(uart_.Frames().empty());
}

// Where the image goes decides which pages are erased; a list too long for
// one command goes out in parts, and nothing is erased for an image that
// cannot be placed or named.
struct ErasePlanCase {
    const char* name;
    bool extended;
    std::uint32_t address;
    std::size_t size;
    std::vector<Bytes> eraseFrames; // command and list frames, in order; empty when refused
    const char* refusal;
};

class Stm32ErasePlanTest : public Stm32FlashTest, public ::testing::WithParamInterface<ErasePlanCase> {};

TEST_P(Stm32ErasePlanTest, ErasesExactlyThePagesTheImageCovers)
{
    const ErasePlanCase& plan = GetParam();
    ConnectAndAckEverything(plan.extended ? script::CommandsWithEraseExt() : script::CommandsWithErase());

    const bool written = Flash(Image(plan.size), plan.address);

    const auto frames = FramesAfterConnect();
    EXPECT_EQ(written, plan.refusal == nullptr);
    if (plan.refusal) {
        EXPECT_TRUE(LogContains(plan.refusal)) << ::testing::PrintToString(log_.Texts());
        EXPECT_EQ(frames, (std::vector<Bytes>{Of({0x01, 0xFE})}));
        EXPECT_TRUE(events_.empty());
        return;
    }
    ASSERT_GT(frames.size(), plan.eraseFrames.size());
    const std::vector<Bytes> erase(frames.begin() + 1, frames.begin() + 1 + plan.eraseFrames.size());
    EXPECT_EQ(erase, plan.eraseFrames);
    EXPECT_EQ(frames[1 + plan.eraseFrames.size()], Of({0x31, 0xCE}));
    EXPECT_EQ(frames[2 + plan.eraseFrames.size()], AddressFrame(plan.address));
}

Bytes Pages8To17() { return Of({0x09, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x08}); }

// One byte per page: the count, pages 0 to 127, and the checksum (0x7F ^ 0x00).
Bytes Pages0To127()
{
    Bytes list{std::byte{0x7F}};
    for (int page = 0; page <= 0x7F; ++page)
        list.push_back(static_cast<std::byte>(page));
    list.push_back(std::byte{0x7F});
    return list;
}

const Bytes kErase = Of({0x43, 0xBC});
const Bytes kEraseExt = Of({0x44, 0xBB});

INSTANTIATE_TEST_SUITE_P(
    Placements, Stm32ErasePlanTest,
    ::testing::Values(
        ErasePlanCase{"ImageAt0x08004000ErasesPages8To17", false, 0x08004000, 20000, {kErase, Pages8To17()}, nullptr},
        ErasePlanCase{"ExtendedImageAt0x08004000ErasesPages8To17",
                      true,
                      0x08004000,
                      20000,
                      {kEraseExt,
                       Of({0x00, 0x09, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00,
                           0x0E, 0x00, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x08})},
                      nullptr},
        // The scripted unit is product 0x0469: two banks of 128 pages of 2 KiB.
        ErasePlanCase{"WholeFirstBankInOneErase", false, 0x08000000, 128 * 0x800, {kErase, Pages0To127()}, nullptr},
        ErasePlanCase{"ImageReachingTheSecondBank", false, 0x08000000, 128 * 0x800 + 8, {},
                      "page 128 lies in bank 2 of 0x0469; its page numbers are unknown"},
        ErasePlanCase{"ExtendedImageReachingTheSecondBank", true, 0x0803F800, 0x1000, {},
                      "page 128 lies in bank 2 of 0x0469; its page numbers are unknown"},
        ErasePlanCase{"ImageInsideTheSecondBank", true, 0x08041000, 0x800, {},
                      "page 130 lies in bank 2 of 0x0469; its page numbers are unknown"},
        ErasePlanCase{"AddressBelowFlash", false, 0x07FFF800, 0x1000, {},
                      "address 0x07fff800 below flash start 0x08000000"},
        ErasePlanCase{"AddressOffAPageBoundary", true, 0x08000100, 0x1000, {},
                      "address 0x08000100 not on a 0x800-byte page boundary"}),
    [](const auto& info) { return std::string(info.param.name); });

// Stray bytes that reach the host between two commands must not answer the
// next one: here they would hide the NACK of a block the unit did not write.
TEST_F(Stm32FlashTest, StrayAcksBetweenCommandsDoNotAnswerTheNextOne)
{
    Connect();
    script::GetVersion(uart_);
    uart_.ScriptRepeated(script::Ack(), 2 + 32 * 3 + 2);
    uart_.Script(script::Nack());
    uart_.SetFallbackReply(script::Ack());
    const Bytes image = Image(0x2000 + 256 + 8);

    ASSERT_TRUE(Client().Flash(image, [this](IFwUpdater::State, unsigned percent) {
        if (percent == 0 || percent == 100)
            return;
        // Reported after block 32 was acknowledged, before block 33 is sent.
        uart_.Inject(Of({0x79, 0x79, 0x79, 0x79}));
        ASSERT_TRUE(uart_.WaitDelivered(5000));
    }, kBase));

    const auto frames = FramesAfterConnect();
    ASSERT_EQ(frames.size(), 3u + 32 * 3 + 2 * 3 + 3);
    for (const std::size_t attempt : {0, 1}) {
        SCOPED_TRACE(attempt);
        const std::size_t at = 3 + 32 * 3 + attempt * 3;
        EXPECT_EQ(frames[at], Of({0x31, 0xCE}));
        EXPECT_EQ(frames[at + 1], AddressFrame(kBase + 0x2000));
    }
}

TEST_F(Stm32FlashTest, WriteLockIsHeldForTheWholeFlash)
{
    ConnectAndAckEverything();
    std::vector<bool> lockFree;
    // Asked from another thread: try_lock on a mutex the caller holds itself
    // would be undefined.
    ASSERT_TRUE(Client().Flash(Image(0x2008), [&](IFwUpdater::State, unsigned) {
        bool locked = false;
        std::thread probe([&] {
            locked = writeLock_.try_lock();
            if (locked)
                writeLock_.unlock();
        });
        probe.join();
        lockFree.push_back(locked);
    }));
    EXPECT_EQ(lockFree, (std::vector<bool>{false, false}));
    EXPECT_TRUE(writeLock_.try_lock());
    writeLock_.unlock();
}

TEST_F(Stm32FlashTest, ThrowingProgressCallbackFailsTheFlashInsteadOfEndingTheProgram)
{
    ConnectAndAckEverything();
    EXPECT_FALSE(Client().Flash(Image(16), [](IFwUpdater::State, unsigned) { throw std::runtime_error("boom"); }));
    EXPECT_EQ(log_.Texts(), (std::vector<std::string>{"boom"}));
    EXPECT_TRUE(Client().Flash(Image(16), {}));
}

// The NACKs of one scripted write: how many before the command's ACK, then
// what answers the address and data frames.
struct NackCase {
    const char* name;
    std::vector<Bytes> replies;
    bool succeeds;
    std::size_t writeFrames;
};

class Stm32WriteNackTest : public Stm32FlashTest, public ::testing::WithParamInterface<NackCase> {};

TEST_P(Stm32WriteNackTest, RetriesUpToTenNacksInARow)
{
    Connect();
    script::GetVersion(uart_);
    uart_.Script(script::Ack());
    uart_.Script(script::Ack());
    uart_.ScriptAll(GetParam().replies);
    uart_.SetFallbackReply(script::Ack());

    EXPECT_EQ(Flash(Image(0x208)), GetParam().succeeds);

    const auto frames = FramesAfterConnect();
    EXPECT_EQ(frames.size() - 3, GetParam().writeFrames);
    EXPECT_EQ(LogContains("10 NACKs received, command Write"), !GetParam().succeeds);
}

std::vector<Bytes> Repeat(const Bytes& reply, int times) { return std::vector<Bytes>(static_cast<std::size_t>(times), reply); }

std::vector<Bytes> Join(std::initializer_list<std::vector<Bytes>> parts)
{
    std::vector<Bytes> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<Bytes> RepeatSequence(const std::vector<Bytes>& replies, int times)
{
    std::vector<Bytes> all;
    for (int i = 0; i < times; ++i)
        all.insert(all.end(), replies.begin(), replies.end());
    return all;
}

const Bytes kNack = script::Nack();
const Bytes kAck = script::Ack();
const Bytes kGetVersion = Of({0x79, 0x31, 0x00, 0x00, 0x79});

INSTANTIATE_TEST_SUITE_P(
    Storms, Stm32WriteNackTest,
    ::testing::Values(
        // Three writes (two body blocks and the trailer) of three frames each when all goes well.
        NackCase{"TenNacksOnTheCommand", Repeat(kNack, 10), true, 10 + 9},
        NackCase{"ElevenNacksOnTheCommand", Repeat(kNack, 11), false, 11},
        NackCase{"TenNacksOnTheDataFrame", RepeatSequence({kAck, kAck, kNack}, 10), true, 30 + 9},
        NackCase{"ElevenNacksSpreadOverAddressAndCommand",
                 Join({Repeat(kNack, 5), {kAck, kNack}, Repeat(kNack, 5)}), false, 12},
        NackCase{"AnAcknowledgedBlockResetsTheCount", Join({Repeat(kNack, 10), Repeat(kAck, 3), Repeat(kNack, 10)}),
                 true, 20 + 9}),
    [](const auto& info) { return std::string(info.param.name); });

class Stm32FlashSilenceTest : public Stm32FlashTest, public ::testing::WithParamInterface<ScriptedFault> {};

// However far the unit got, a line that goes quiet ends in a timeout, not a hang.
TEST_P(Stm32FlashSilenceTest, SilentLineEndsInTheTimeoutText)
{
    Connect();
    uart_.ScriptAll(GetParam().replies);

    EXPECT_FALSE(Flash(Image(0x208)));

    EXPECT_TRUE(LogContains(GetParam().logged)) << ::testing::PrintToString(log_.Texts());
    EXPECT_TRUE(events_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Points, Stm32FlashSilenceTest,
    ::testing::Values(
        ScriptedFault{"GetVersionBytes", {Of({0x79, 0x31, 0x00})}, "receive timeout for 3 bytes, command Get Ver Rops"},
        ScriptedFault{"EraseList", {kGetVersion, kAck}, "receive timeout for 1 bytes, command Erase"},
        ScriptedFault{"WriteData", {kGetVersion, kAck, kAck, kAck, kAck}, "receive timeout for 1 bytes, command Write"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stm32FlashTest, ExitDfuWritesTheMarkerThenSendsGoWithoutWaitingForTheAddressAck)
{
    Connect();
    Client().DisconnectDevice();
    uart_.ScriptRepeated(script::Ack(), 4);

    Client().ExitDfu(0x08000000, 0x0807F800);

    const auto frames = FramesAfterConnect();
    EXPECT_EQ(frames, (std::vector<Bytes>{Of({0x31, 0xCE}), AddressFrame(0x0807F800),
                                          WithChecksum(Of({0x03, 'P', 'U', 'W', 'F'})), Of({0x21, 0xDE}),
                                          AddressFrame(0x08000000)}));
    const auto calls = uart_.ConfigureCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], std::make_pair(kUartMode, 1u));
    EXPECT_EQ(calls.back(), FakeUartDriver::kInitialSettings);
    EXPECT_EQ(uart_.SubscriptionCount(), 2);
}

TEST_F(Stm32FlashTest, ExitDfuLetsTheFaultReachTheCaller)
{
    Connect();
    uart_.ScriptRepeated(script::Ack(), 3);
    uart_.Script(script::Nack());

    try {
        Client().ExitDfu(0x08000000, 0x0807F800);
        ADD_FAILURE() << "no exception";
    } catch (const lumavex::ExceptionString& error) {
        EXPECT_TRUE(std::string_view(error.what()).ends_with("NACK received, command Write")) << error.what();
    }
}

} // namespace
