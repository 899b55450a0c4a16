#include "FlatCborMap.h"
#include "McubootImageBuilder.h"
#include "RandomBytes.h"
#include "SerialTestPort.h"
#include "SmpTestFrames.h"
#include "UnitSimulator.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

constexpr int kNoAnswerWaitMs = 600;
const QByteArray kEmptyMap = QByteArray::fromHex("bfff");
const QByteArray kResetFrame = QByteArray("\x06\x09") + "AAwCAAACAAAABb//W5w=\n";
// The single upload request of a 3-byte image 01 02 03.
const QByteArray kThreeByteUpload =
    QByteArray::fromHex("bf64646174614301020363 6f666600 636c656e03 65696d61676500 ff");

QByteArray otpRequest(std::uint32_t key)
{
    QByteArray payload = QByteArray::fromHex("bf636b65791a");
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.append(char(key >> shift));
    return payload + QByteArray::fromHex("ff");
}

// An upload chunk map as the updater writes it: data, off, and on the first
// chunk len and image.
QByteArray uploadChunk(const QByteArray& data, quint32 offset, quint32 total)
{
    QByteArray map = QByteArray::fromHex("bf6464617461");
    map.append(char(0x59)).append(char(data.size() >> 8)).append(char(data.size())).append(data);
    map.append(QByteArray::fromHex("636f66661a"));
    for (int shift = 24; shift >= 0; shift -= 8)
        map.append(char(offset >> shift));
    if (offset == 0) {
        map.append(QByteArray::fromHex("636c656e1a"));
        for (int shift = 24; shift >= 0; shift -= 8)
            map.append(char(total >> shift));
        map.append(QByteArray::fromHex("65696d61676500"));
    }
    return map + QByteArray::fromHex("ff");
}

// A simulator with a port open on it.
class McubootUnit : public ::testing::Test {
protected:
    void start(const QStringList& arguments = {})
    {
        simulator = std::make_unique<UnitSimulator>(arguments);
        ASSERT_TRUE(simulator->isReady()) << simulator->log().toStdString();
        port = std::make_unique<SerialTestPort>(simulator->path());
        ASSERT_TRUE(port->isOpen());
    }

    // The decoded answer map, or nothing when the answer did not pass the
    // updater's checks.
    std::optional<QVariantMap> ask(std::uint8_t operation, std::uint16_t group, std::uint8_t command,
                                   const QByteArray& payload, std::uint8_t sequence = 0)
    {
        lastRaw = port->exchangeLine(SmpTestFrames::request(operation, group, command, payload, sequence));
        lastResponse = SmpTestFrames::decode(lastRaw);
        return lastResponse ? FlatCborMap::parse(lastResponse->payload) : std::nullopt;
    }

    // Sends a whole image in chunks as the updater does, following "off".
    std::optional<QVariantMap> upload(const QByteArray& image, qsizetype chunkSize = 1483)
    {
        std::optional<QVariantMap> answer;
        for (qint64 offset = 0, rounds = 0; offset < image.size() && rounds < 1000; ++rounds) {
            answer = ask(2, 1, 1, uploadChunk(image.mid(offset, chunkSize), quint32(offset), quint32(image.size())));
            if (!answer || answer->value("rc", 0).toInt() != 0)
                return answer;
            offset = answer->value("off").toLongLong();
        }
        return answer;
    }

    std::unique_ptr<UnitSimulator> simulator;
    std::unique_ptr<SerialTestPort> port;
    QByteArray lastRaw;
    std::optional<SmpTestFrames::Response> lastResponse;
};

TEST(SmpTestFramesCheck, HandBuiltFramesMatchTheWorkedExamples)
{
    EXPECT_EQ(SmpTestFrames::request(2, 0, 5, kEmptyMap, 0), kResetFrame);
    const QByteArray accepted = QByteArray("\x06\x09") + "AA8BAAAFAAEAAKFicmMAyZ8=\n";
    ASSERT_TRUE(SmpTestFrames::decode(accepted));
    EXPECT_EQ(SmpTestFrames::decode(accepted)->payload, QByteArray::fromHex("a162726300"));
    QByteArray requestStyle = QByteArray::fromHex("000f0100000500010000a162726300cbad");
    EXPECT_FALSE(SmpTestFrames::decode(QByteArray("\x06\x09") + requestStyle.toBase64() + '\n'));
}

TEST_F(McubootUnit, ResetIsAnsweredWithTheResponseCrcAndCounted)
{
    start();
    const QByteArray raw = port->exchangeLine(kResetFrame);
    ASSERT_TRUE(simulator->waitForEvent("reset 1", 3000));
    const auto response = SmpTestFrames::decode(raw);
    ASSERT_TRUE(response) << raw.toHex().toStdString();
    EXPECT_EQ(response->header, QByteArray::fromHex("0300000500000005")); // write response, group 0, seq 0, cmd 5
    EXPECT_EQ(FlatCborMap::parse(response->payload)->value("rc"), QVariant(qint64(0)));
    EXPECT_FALSE(SmpTestFrames::hasRequestStyleCrc(raw));
    EXPECT_TRUE(raw.startsWith("\x06\x09"));
    EXPECT_EQ(simulator->resetCount(), 1);
    EXPECT_TRUE(simulator->isRunning()) << "serving on after a reset is the default";
}

// A hostile unit for the memory bench: from the given request on it sends
// noise without end, far more than any answer, and never a valid frame.
TEST_F(McubootUnit, FloodFromRequestSendsNoiseInsteadOfTheAnswer)
{
    start({"--flood-from-request", "2"});
    ASSERT_TRUE(ask(2, 1, 1, kThreeByteUpload)) << "the first request is still answered";
    ASSERT_TRUE(port->send(SmpTestFrames::request(0, 1, 0, kEmptyMap, 1)));
    ASSERT_TRUE(simulator->waitForEvent("flooding", 3000));
    const QByteArray noise = port->receive(256 * 1024, 5000);
    EXPECT_GE(noise.size(), 256 * 1024);
    EXPECT_FALSE(SmpTestFrames::decode(noise));
}

TEST_F(McubootUnit, ThreeByteUploadIsStoredAndAcknowledged)
{
    start();
    const auto answer = ask(2, 1, 1, kThreeByteUpload, 7);
    ASSERT_TRUE(answer) << lastRaw.toHex().toStdString();
    EXPECT_EQ(answer->value("rc"), QVariant(qint64(0)));
    EXPECT_EQ(answer->value("off"), QVariant(qint64(3)));
    EXPECT_EQ(lastResponse->header.at(6), char(7)) << "the sequence number is echoed";
    EXPECT_EQ(simulator->image(), QByteArray::fromHex("010203"));
    EXPECT_TRUE(simulator->waitForEvent("image-complete 3", 2000));
}

TEST_F(McubootUnit, MultiChunkImageArrivesByteForByte)
{
    start();
    const QByteArray image = randomBytes(5 * 1483 + 17);
    const auto last = upload(image);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->value("off").toLongLong(), image.size());
    EXPECT_EQ(simulator->image(), image);
    EXPECT_TRUE(simulator->log().contains("keys: data=bytes(1483) off=0 len=")) << "request log names the keys";
}

// MCUboot checks the image in its slot when it boots after the reset; the
// simulator says in its event log what that check found.
TEST_F(McubootUnit, AResetAfterAnUploadChecksTheImageAsMcubootWould)
{
    McubootImageBuilder builder;
    builder.padTo(0x2000);
    const QByteArray good = builder.build();
    QByteArray wrongHash = good;
    wrongHash[100] = static_cast<char>(wrongHash[100] ^ 1);
    struct Case {
        const char* name;
        QByteArray image;
        QString event;
    };
    for (const auto& [name, image, event] : {
             Case{"good image", good,
                  QString("image-check ok %1 %2").arg(builder.tlvOffset() + 40).arg(QString(builder.hash().toHex()))},
             Case{"random bytes", randomBytes(4096), "image-check bad no header magic at offset 0"},
             Case{"truncated body", good.left(1000),
                  "image-check bad the header's image size 4096 after the 32-byte header runs past the end of the "
                  "file (1000 bytes)"},
             Case{"wrong hash", wrongHash, "image-check bad SHA-256 TLV "},
         }) {
        SCOPED_TRACE(name);
        start();
        ASSERT_TRUE(upload(image));
        port->exchangeLine(kResetFrame);
        ASSERT_TRUE(simulator->waitForEvent("image-check", 3000)) << simulator->events().join("\n").toStdString();
        const QStringList checks = simulator->events().filter("image-check");
        ASSERT_EQ(checks.size(), 1);
        EXPECT_TRUE(checks.first().startsWith(event)) << checks.first().toStdString();
        EXPECT_EQ(simulator->image(), image);
    }
}

TEST_F(McubootUnit, AResetWithoutAnUploadChecksNothing)
{
    start();
    port->exchangeLine(kResetFrame);
    ASSERT_TRUE(simulator->waitForEvent("reset 1", 3000));
    EXPECT_FALSE(simulator->waitForEvent("image-check", kNoAnswerWaitMs));
}

TEST_F(McubootUnit, ImageStateAnswersWithoutError)
{
    start();
    ask(0, 1, 0, kEmptyMap);
    ASSERT_TRUE(lastResponse) << lastRaw.toHex().toStdString();
    EXPECT_FALSE(lastResponse->payload.contains("rc"));
    EXPECT_TRUE(lastResponse->payload.contains("images"));
}

struct OtpCase {
    const char* name;
    QStringList arguments;
    std::uint32_t key;
    std::optional<QByteArray> data; // empty: "rc": 5 expected
};

class McubootOtp : public McubootUnit, public ::testing::WithParamInterface<OtpCase> {};

TEST_P(McubootOtp, AnswersStoredValuesAndRc5ForAbsentOnes)
{
    start(GetParam().arguments);
    const auto answer = ask(0, 64, 0, otpRequest(GetParam().key));
    ASSERT_TRUE(answer) << lastRaw.toHex().toStdString();
    if (GetParam().data) {
        EXPECT_EQ(answer->value("rc", 0).toInt(), 0);
        EXPECT_EQ(answer->value("data").toByteArray(), *GetParam().data);
    } else {
        EXPECT_EQ(answer->value("rc").toInt(), 5);
        EXPECT_FALSE(answer->contains("data"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, McubootOtp,
    ::testing::Values(OtpCase{"ModelId", {"--model-id", "7"}, 0x01234711, QByteArray(1, 7)},
                      OtpCase{"ModelIdHex", {"--model-id", "0xC8"}, 0x01234711, QByteArray(1, char(0xC8))},
                      OtpCase{"SerialNumber", {"--serial-number", "LX-000123"}, 0x3CA6A4AF, QByteArray("LX-000123")},
                      OtpCase{"ModelIdAbsent", {"--serial-number", "LX-1"}, 0x01234711, std::nullopt},
                      OtpCase{"SerialAbsent", {"--model-id", "7"}, 0x3CA6A4AF, std::nullopt},
                      OtpCase{"UnknownKey", {"--model-id", "7"}, 0x12345678, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(McubootUnit, RequestWithBadCrcIsIgnored)
{
    start();
    QByteArray packet = QByteArray::fromBase64("AAwCAAACAAAABb//W5w=");
    packet[packet.size() - 1] = char(packet.back() ^ 1);
    EXPECT_TRUE(port->exchangeLine(QByteArray("\x06\x09") + packet.toBase64() + '\n', kNoAnswerWaitMs).isEmpty());
    EXPECT_EQ(simulator->resetCount(), 0);
    EXPECT_TRUE(ask(2, 0, 5, kEmptyMap)) << "a good request afterwards is served";
}

TEST_F(McubootUnit, BadCrcFaultSendsARequestStyleCrcFromTheGivenRequest)
{
    start({"--bad-crc-from-request", "2"});
    EXPECT_TRUE(ask(2, 0, 5, kEmptyMap));
    EXPECT_FALSE(ask(2, 0, 5, kEmptyMap));
    EXPECT_FALSE(lastRaw.isEmpty());
    EXPECT_TRUE(SmpTestFrames::hasRequestStyleCrc(lastRaw));
}

TEST_F(McubootUnit, SilentFromRequestAnswersNothingFromThere)
{
    start({"--silent-from-request", "2"});
    EXPECT_TRUE(ask(2, 0, 5, kEmptyMap));
    EXPECT_TRUE(port->exchangeLine(SmpTestFrames::request(0, 1, 0, kEmptyMap), kNoAnswerWaitMs).isEmpty());
    EXPECT_TRUE(simulator->log().contains("request #2"));
}

TEST_F(McubootUnit, RcAtOffsetFailsThatChunkOnly)
{
    start({"--rc-at-offset", "1483:6"});
    const QByteArray image = randomBytes(3000);
    const auto answer = upload(image);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value("rc").toInt(), 6);
    EXPECT_FALSE(answer->contains("off"));
    EXPECT_EQ(simulator->image(), image.left(1483));
}

TEST_F(McubootUnit, RepeatedOffsetComesBackKTimesThenMovesOn)
{
    start({"--repeat-offset", "1483:2"});
    const QByteArray image = randomBytes(3000);
    ASSERT_EQ(ask(2, 1, 1, uploadChunk(image.left(1483), 0, 3000))->value("off").toInt(), 1483);
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(ask(2, 1, 1, uploadChunk(image.mid(1483, 1483), 1483, 3000))->value("off").toInt(), 1483);
    EXPECT_EQ(ask(2, 1, 1, uploadChunk(image.mid(1483, 1483), 1483, 3000))->value("off").toInt(), 2966);
    ASSERT_TRUE(upload(image));
    EXPECT_EQ(simulator->image(), image);
}

TEST_F(McubootUnit, LowerOffsetMakesTheSenderGoBack)
{
    start({"--lower-offset", "2966:1000"});
    const QByteArray image = randomBytes(4000);
    ask(2, 1, 1, uploadChunk(image.left(1483), 0, 4000));
    ask(2, 1, 1, uploadChunk(image.mid(1483, 1483), 1483, 4000));
    const auto answer = ask(2, 1, 1, uploadChunk(image.mid(2966, 1483), 2966, 4000));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value("off").toInt(), 1000);
    EXPECT_EQ(simulator->image(), image.left(1000));
    ASSERT_EQ(ask(2, 1, 1, uploadChunk(image.mid(1000, 1483), 1000, 4000))->value("off").toInt(), 2483);
}

TEST_F(McubootUnit, SplitResponsesWithNoiseStillDecode)
{
    start({"--split-lines", "8", "--noise-lines", "--model-id", "9"});
    const auto answer = ask(0, 64, 0, otpRequest(0x01234711));
    ASSERT_TRUE(answer) << lastRaw.toHex().toStdString();
    EXPECT_EQ(answer->value("data").toByteArray(), QByteArray(1, 9));
    const QList<QByteArray> lines = lastRaw.split('\n');
    EXPECT_EQ(lines.count(QByteArray()), 1) << "every line ends with a line feed";
    int continuations = 0;
    int noise = 0;
    for (const QByteArray& line : lines) {
        const bool marker = line.startsWith("\x06\x09") || line.startsWith("\x04\x14");
        continuations += line.startsWith("\x04\x14");
        noise += !line.isEmpty() && !marker;
        if (marker) {
            EXPECT_LE(line.size(), 2 + 8);
        }
    }
    EXPECT_GE(continuations, 2);
    EXPECT_GE(noise, continuations);
    EXPECT_TRUE(lastRaw.startsWith("\x06\x09"));
}

TEST_F(McubootUnit, UnplugAfterBytesRemovesThePathAndExits)
{
    start({"--unplug-after-bytes", "100"});
    const QByteArray image = randomBytes(1483);
    EXPECT_TRUE(port->exchangeLine(SmpTestFrames::request(2, 1, 1, uploadChunk(image, 0, 1483)), kNoAnswerWaitMs)
                    .isEmpty());
    ASSERT_TRUE(simulator->waitForExit(3000));
    EXPECT_FALSE(QFileInfo::exists(simulator->path()));
    EXPECT_TRUE(simulator->events().contains("unplugged"));
    EXPECT_TRUE(simulator->image().isEmpty());
}

TEST_F(McubootUnit, SigtermRemovesThePath)
{
    start();
    ASSERT_TRUE(QFileInfo::exists(simulator->path()));
    simulator->unplug();
    EXPECT_FALSE(simulator->isRunning());
    EXPECT_FALSE(QFileInfo(simulator->path()).exists());
    EXPECT_FALSE(QFileInfo(simulator->path()).isSymLink());
}

TEST_F(McubootUnit, AfterResetExitEndsTheRun)
{
    start({"--after-reset", "exit"});
    ASSERT_TRUE(ask(2, 0, 5, kEmptyMap)) << lastRaw.toHex().toStdString() << simulator->log().toStdString();
    ASSERT_TRUE(simulator->waitForExit(3000));
    EXPECT_EQ(simulator->exitCode(), 0);
    EXPECT_EQ(simulator->resetCount(), 1);
    EXPECT_FALSE(QFileInfo(simulator->path()).isSymLink());
}

TEST_F(McubootUnit, PacedLinkStillCarriesTheImage)
{
    start({"--baud", "115200", "--write-ms", "5"});
    const QByteArray image = randomBytes(3 * 1483);
    QElapsedTimer timer;
    timer.start();
    const auto last = upload(image);
    const qint64 elapsed = timer.elapsed();
    ASSERT_TRUE(last);
    EXPECT_EQ(simulator->image(), image);
    // Figure only: three requests of about 2 kB each way at 115200 baud.
    std::printf("[ figure ] paced upload of %lld bytes at 115200 baud: %lld ms\n", qlonglong(image.size()), elapsed);
}

TEST(UnitSimulatorProgram, RejectsBadOptionsWithoutLeavingAPath)
{
    QProcess process;
    process.start(UnitSimulator::programPath(), {"--link", "/tmp/never-made-by-sim", "--model-id", "300"});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("--model-id"));
    EXPECT_FALSE(QFileInfo::exists("/tmp/never-made-by-sim"));
}

} // namespace
