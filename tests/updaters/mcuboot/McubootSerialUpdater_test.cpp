#include "QtMessageCapture.h"
#include "McubootPtyTest.h"
#include "QtPrinters.h"
#include "SmpTestFrames.h"

using namespace smp_test;

namespace {

// ---- transact ------------------------------------------------------------

TEST_F(McubootPtyTest, TransactWithoutLinkReturnsNothing)
{
    makeUpdater();
    EXPECT_TRUE(updater->transact(McubootSerialUpdater::encodeSmpFrame(0, 1, 0, kEmptyMap, 0), 2000).isEmpty());
}

TEST_F(McubootPtyTest, TransactWithZeroBudgetSendsButDoesNotWait)
{
    connectTo(ScriptedUnit());
    const QByteArray frame = McubootSerialUpdater::encodeSmpFrame(0, 1, 0, kEmptyMap, 9);
    EXPECT_TRUE(updater->transact(frame, 0).isEmpty());
    EXPECT_TRUE(updater->transact(frame, -5).isEmpty());
    ASSERT_TRUE(peer.waitForRequests(3, 5000));
    EXPECT_EQ(peer.requests()[1].sequence, 9);
    EXPECT_TRUE(peer.requests()[1].wellFormed);
}

TEST_F(McubootPtyTest, TransactKeepsReadingWhenMoreFollowsALineEnd)
{
    const QByteArray answer = responseFrame(cborMap({{"rc", cborInt(0)}, {"off", cborInt(77)}}));
    makeUpdater();
    peer.start([answer](const SmpRequest& request, SmpTestPeer& unit) {
        if (request.group == 1 && request.command == 0) {
            unit.send(responseFrame(cborMap({{"rc", cborInt(0)}})));
            return;
        }
        // Once the updater is polling: a line end, then the frame trickling in;
        // the gap after the line end is well inside the updater's 3 ms look-ahead.
        QThread::msleep(30);
        unit.send("booting\n");
        for (const char byte : answer) {
            QThread::usleep(byte == answer.front() ? 1000 : 300);
            unit.send(QByteArray(1, byte));
        }
    });
    ASSERT_TRUE(updater->connectDevice(peer.portName()));
    // Allow for a scheduler hiccup on a loaded machine by trying a few times.
    QByteArray received;
    for (int attempt = 0; attempt < 3 && !received.endsWith(answer); ++attempt)
        received = updater->transact(McubootSerialUpdater::encodeSmpFrame(2, 1, 1, kEmptyMap, 1), 2000);
    EXPECT_EQ(received, "booting\n" + answer);
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapInt(McubootSerialUpdater::decodeSmpFrame(received), "off"), 77);
}

// ---- connection probe ------------------------------------------------------

struct ProbeCase {
    const char* name;
    QByteArray reply;
    bool accepted;
    QStringList log;
};

class ProbeTest : public McubootPtyTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeTest, AcceptsOnlyAnAnswerWithoutErrorCode)
{
    ScriptedUnit unit;
    unit.probeReply = GetParam().reply;
    makeUpdater();
    peer.start(unit.responder());
    QtMessageCapture log;
    EXPECT_EQ(updater->connectDevice(peer.portName()), GetParam().accepted);
    EXPECT_EQ(log.lines(), GetParam().log);
    ASSERT_EQ(peer.requests().size(), 1u);
    expectRequest(peer.requests()[0], 0, 1, 0, 0, kEmptyMap);
    // A refused unit leaves no link behind: a further probe sends nothing.
    EXPECT_EQ(updater->readImageState(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ProbeTest,
    ::testing::Values(ProbeCase{"rc zero", cborMap({{"rc", cborInt(0)}}), true, {}},
                      ProbeCase{"image list without rc",
                                cborMap({{"images", QByteArray::fromHex("81 a1 64 73 6c 6f 74 00")}}), true, {}},
                      ProbeCase{"rc non-zero", cborMap({{"rc", cborInt(2)}}), false,
                                {"warning: McubootSerialUpdater::readImageState: rc= 2"}}),
    [](const auto& info) { return testName(info.param.name); });

TEST_F(McubootPtyTest, SilentUnitIsRefused)
{
    ScriptedUnit unit;
    unit.probeReply.clear();
    makeUpdater();
    peer.start(unit.responder());
    QtMessageCapture log;
    EXPECT_FALSE(updater->connectDevice(peer.portName()));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(McubootPtyTest, MissingPortFailsQuietly)
{
    makeUpdater();
    QtMessageCapture log;
    EXPECT_FALSE(updater->connectDevice(folder.filePath(QStringLiteral("no-such-tty"))));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_FALSE(updater->readImageState());
}

TEST_F(McubootPtyTest, ConnectingAgainReplacesTheOpenLink)
{
    connectTo(ScriptedUnit());
    EXPECT_TRUE(updater->connectDevice(peer.portName()));
    EXPECT_EQ(peer.requests().size(), 2u);
}

} // namespace
