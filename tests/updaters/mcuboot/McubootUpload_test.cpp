#include "QtMessageCapture.h"
#include "McubootPtyTest.h"
#include "QtPrinters.h"
#include "SmpTestFrames.h"

#include <QSignalSpy>

using namespace smp_test;

namespace {

std::vector<int> offsetsRequested(const std::vector<SmpRequest>& sent)
{
    std::vector<int> offsets;
    for (const SmpRequest& request : sent)
        offsets.push_back(McubootSerialUpdater::cborDecodeMapInt(request.payload, "off").value_or(-1));
    return offsets;
}

struct ImageCase {
    const char* name;
    QByteArray image;
    std::function<std::vector<QByteArray>(const QByteArray& image)> payloads;
    std::vector<int> progress;
};

class ImageSizeTest : public McubootPtyTest, public ::testing::WithParamInterface<ImageCase> {};

// Chunks of at most 1483 bytes; only the first carries "len" and "image".
TEST_P(ImageSizeTest, UnitSeesTheExactRequests)
{
    const QByteArray image = GetParam().image;
    writeImage(image);
    connectTo(ScriptedUnit());
    std::vector<int> progress;
    EXPECT_TRUE(upload(&progress));
    const std::vector<QByteArray> expected = GetParam().payloads(image);
    const std::vector<SmpRequest> sent = requestsAfterProbe();
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        expectRequest(sent[i], 2, 1, 1, static_cast<int>(i), expected[i]);
    EXPECT_EQ(progress, GetParam().progress);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ImageSizeTest,
    ::testing::Values(
        ImageCase{"three bytes", QByteArray::fromHex("010203"),
                  [](const QByteArray&) {
                      return std::vector<QByteArray>{QByteArray::fromHex(
                          "BF 64 64 61 74 61 43 01 02 03 63 6F 66 66 00 63 6C 65 6E 03 65 69 6D 61 67 65 00 FF")};
                  },
                  {100}},
        ImageCase{"one full chunk", patternImage(1483),
                  [](const QByteArray& image) {
                      return std::vector<QByteArray>{
                          firstChunkPayload(image, QByteArray::fromHex("59 05 cb"), QByteArray::fromHex("19 05 cb"))};
                  },
                  {100}},
        ImageCase{"one byte over a chunk", patternImage(1484),
                  [](const QByteArray& image) {
                      return std::vector<QByteArray>{
                          firstChunkPayload(image.left(1483), QByteArray::fromHex("59 05 cb"), QByteArray::fromHex("19 05 cc")),
                          QByteArray::fromHex("bf 64 64 61 74 61 41") + image.right(1)
                              + QByteArray::fromHex("63 6f 66 66 19 05 cb ff")};
                  },
                  {99, 100}}),
    [](const auto& info) { return testName(info.param.name); });

// A reset after writing nothing would start a unit that has no firmware.
TEST_F(McubootPtyTest, EmptyImageFailsWithoutUploadOrReset)
{
    writeImage({});
    connectTo(ScriptedUnit());
    QSignalSpy started(updater.get(), &FirmwareUpdaterBase::UpdateStarted);
    QSignalSpy finished(updater.get(), &FirmwareUpdaterBase::UpdateFinished);
    updater->onStartUpdate();
    EXPECT_EQ(started.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_FALSE(peer.waitForRequests(2, 1000));
    EXPECT_EQ(peer.requests().size(), 1u) << "only the connection's probe";
}

TEST_F(McubootPtyTest, UpdateReportsProgressThenResetsWithTheNextSequence)
{
    writeImage(patternImage(3000));
    connectTo(ScriptedUnit());
    QSignalSpy progress(updater.get(), &FirmwareUpdaterBase::ProgressUpdate);
    QSignalSpy finished(updater.get(), &FirmwareUpdaterBase::UpdateFinished);
    updater->onStartUpdate();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished[0][0].toBool());
    ASSERT_EQ(progress.count(), 3);
    EXPECT_EQ(progress[2][0].toInt(), 100);
    ASSERT_TRUE(peer.waitForRequests(5, 5000));
    EXPECT_EQ(peer.requests()[4].command, 5);
    EXPECT_EQ(peer.requests()[4].sequence, 3);
}

struct OffsetScript {
    const char* name;
    std::function<QByteArray(int off, int length, int index)> reply;
    int imageSize;
    bool succeeds;
    std::vector<int> offsets;
};

class UploadOffsetTest : public McubootPtyTest, public ::testing::WithParamInterface<OffsetScript> {};

TEST_P(UploadOffsetTest, FollowsOrRefusesTheUnitsOffsets)
{
    const OffsetScript& script = GetParam();
    writeImage(patternImage(script.imageSize));
    ScriptedUnit unit;
    unit.uploadReply = script.reply;
    connectTo(unit);
    QtMessageCapture log;
    EXPECT_EQ(upload(), script.succeeds);
    EXPECT_EQ(offsetsRequested(requestsAfterProbe()), script.offsets);
    EXPECT_TRUE(log.lines().isEmpty()) << "diagnostics are off";
}

QByteArray answer(int off)
{
    return ScriptedUnit::nextOffset(off);
}

std::vector<int> repeated(int value, int count, std::vector<int> tail = {})
{
    std::vector<int> offsets(static_cast<std::size_t>(count), value);
    offsets.insert(offsets.end(), tail.begin(), tail.end());
    return offsets;
}

INSTANTIATE_TEST_SUITE_P(
    Units, UploadOffsetTest,
    ::testing::Values(
        OffsetScript{"lower offset is resent", [](int off, int length, int index) { return answer(index == 1 ? 0 : off + length); },
                     3000, true, {0, 1483, 0, 1483, 2966}},
        OffsetScript{"a few repeats are followed",
                     [](int off, int length, int index) { return answer(index < 5 ? 0 : off + length); }, 1484, true,
                     repeated(0, 6, {1483})},
        OffsetScript{"same offset 32 times fails", [](int, int, int) { return answer(0); }, 1484, false, repeated(0, 32)},
        OffsetScript{"31 repeats still followed",
                     [](int off, int length, int index) { return answer(index < 31 ? 1483 : off + length); }, 3000, true,
                     [] {
                         std::vector<int> offsets = repeated(1483, 31, {2966});
                         offsets.insert(offsets.begin(), 0);
                         return offsets;
                     }()},
        OffsetScript{"negative offset fails", [](int, int, int) { return answer(-1); }, 3000, false, {0}},
        OffsetScript{"offset past the image fails", [](int, int, int) { return answer(3001); }, 3000, false, {0}},
        OffsetScript{"offset at the end finishes early", [](int, int, int) { return answer(3000); }, 3000, true, {0}},
        OffsetScript{"no off advances by the chunk",
                     [](int, int, int) { return cborMap({{"rc", cborInt(0)}}); }, 3000, true, {0, 1483, 2966}},
        OffsetScript{"no rc counts as success",
                     [](int off, int length, int) { return cborMap({{"off", cborInt(off + length)}}); }, 1484, true, {0, 1483}},
        OffsetScript{"error code ends the upload",
                     [](int off, int length, int index) {
                         return index == 1 ? cborMap({{"rc", cborInt(1)}}) : answer(off + length);
                     },
                     3000, false, {0, 1483}}),
    [](const auto& info) { return testName(info.param.name); });

TEST_F(McubootPtyTest, UnitThatKeepsGoingBackIsGivenUp)
{
    writeImage(patternImage(3000));
    ScriptedUnit unit;
    unit.uploadReply = [](int off, int length, int) { return answer(off == 0 ? off + length : 0); };
    connectTo(unit);
    EXPECT_FALSE(upload());
    const std::size_t sent = requestsAfterProbe().size();
    EXPECT_GT(sent, 10u);
    EXPECT_LT(sent, 200u);
}

TEST_F(McubootPtyTest, UnopenableImageIsReportedAndNothingSent)
{
    connectTo(ScriptedUnit());
    QtMessageCapture log;
    QSignalSpy finished(updater.get(), &FirmwareUpdaterBase::UpdateFinished);
    updater->onStartUpdate();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(
        QStringLiteral("warning: firmware image \"%1\" cannot be read: ").arg(imagePath())))
        << log.lines().first().toStdString();
    EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(McubootPtyTest, FailedUploadDoesNotReset)
{
    writeImage(patternImage(10));
    ScriptedUnit unit;
    unit.uploadReply = [](int, int, int) { return cborMap({{"rc", cborInt(4)}}); };
    connectTo(unit);
    QSignalSpy finished(updater.get(), &FirmwareUpdaterBase::UpdateFinished);
    updater->onStartUpdate();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    // A later probe shows whether anything else was sent in between.
    EXPECT_TRUE(updater->readImageState());
    const std::vector<SmpRequest> sent = peer.requests();
    ASSERT_EQ(sent.size(), 3u) << "probe, one chunk, probe: no reset";
    EXPECT_EQ(sent[2].command, 0);
}

TEST_F(McubootPtyTest, UnparsableAnswerEndsTheUpload)
{
    writeImage(patternImage(3000));
    makeUpdater();
    peer.startReplying([](const SmpRequest& request) {
        if (request.command == 0)
            return responseFrame(cborMap({{"rc", cborInt(0)}}));
        return QByteArray("\x06\x09" "AAAAAAAAAAAAAAAAAAAAAAAA\n");
    });
    ASSERT_TRUE(updater->connectDevice(peer.portName()));
    EXPECT_FALSE(upload());
    EXPECT_EQ(peer.requests().size(), 2u);
}

TEST_F(McubootPtyTest, FirstChunkMayTakeLongerThanLaterOnes)
{
    writeImage(patternImage(10));
    ScriptedUnit unit;
    unit.uploadReply = [](int off, int length, int) {
        QThread::msleep(3500); // beyond a later chunk's budget, inside the first one's
        return answer(off + length);
    };
    connectTo(unit);
    EXPECT_TRUE(upload());
}

} // namespace
