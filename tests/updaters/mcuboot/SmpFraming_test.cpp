#include "ExactBuffer.h"
#include "QtPrinters.h"
#include "McubootSerialUpdater.h"
#include "SmpTestFrames.h"

#include <gtest/gtest.h>

using namespace smp_test;

namespace {

const QByteArray kRcZeroPayload = QByteArray::fromHex("a162726300");
const QByteArray kAcceptedPacket = QByteArray::fromHex("000f0100000500010000a162726300c99f");

QByteArray markerLine(const char* marker, const QByteArray& text)
{
    return QByteArray(marker, 2) + text + '\n';
}

TEST(SmpCrc, MatchesGenibusCheckValue)
{
    const QByteArray text("123456789");
    const auto* data = reinterpret_cast<const uint8_t*>(text.constData());
    EXPECT_EQ(McubootSerialUpdater::crc16(data, 9, 0xFFFF) ^ 0xFFFF, 0xD64E);
    EXPECT_EQ(McubootSerialUpdater::crc16(data, 0, 0x1234), 0x1234);
}

TEST(SmpEncode, ResetRequestFrame)
{
    const QByteArray frame = McubootSerialUpdater::encodeSmpFrame(2, 0, 5, QByteArray::fromHex("bfff"), 0);
    EXPECT_EQ(frame, QByteArray("\x06\x09" "AAwCAAACAAAABb//W5w=\n"));
    EXPECT_EQ(QByteArray::fromBase64(frame.mid(2)).toHex(), "000c020000020000000" "5bfff5b9c");
}

TEST(SmpEncode, HeaderCarriesOperationGroupSequenceAndCommand)
{
    const QByteArray payload(300, '\x5A');
    const QByteArray frame = McubootSerialUpdater::encodeSmpFrame(0, 0x0140, 7, payload, 0xAB);
    ASSERT_TRUE(frame.startsWith("\x06\x09"));
    ASSERT_TRUE(frame.endsWith('\n'));
    EXPECT_EQ(frame.count('\n'), 1);
    const QByteArray packet = QByteArray::fromBase64(frame.mid(2));
    EXPECT_EQ(packet.left(10).toHex(), "0136000001" "2c0140ab07");
    EXPECT_EQ(packet.mid(10, 300), payload);
}

TEST(SmpDecode, AcceptedResponseExample)
{
    const QByteArray line("\x06\x09" "AA8BAAAFAAEAAKFicmMAyZ8=\n");
    EXPECT_EQ(responseLine(kAcceptedPacket), line);
    EXPECT_EQ(McubootSerialUpdater::decodeSmpFrame(line), kRcZeroPayload);
}

TEST(SmpDecode, RequestStyleCrcIsRejected)
{
    QByteArray packet = kAcceptedPacket;
    packet[15] = '\xCB';
    packet[16] = '\xAD';
    EXPECT_TRUE(McubootSerialUpdater::decodeSmpFrame(responseLine(packet)).isEmpty());
}

TEST(SmpDecode, ContinuationLinesAreJoinedAcrossNoise)
{
    const QByteArray payload = cborMap({{"rc", cborInt(0)}, {"data", cborBytes(QByteArray(90, 'x'))}});
    const QByteArray text = responsePacket(payload).toBase64();
    const QByteArray received = markerLine("\x06\x09", text.left(40)) + "boot: noise line\n"
                                + markerLine("\x06\x0A", "AAAA") + markerLine("\x04\x14", text.mid(40, 44))
                                + "\n\x04" + "\n" + markerLine("\x04\x14", text.mid(84));
    EXPECT_EQ(McubootSerialUpdater::decodeSmpFrame(received), payload);
}

TEST(SmpDecode, FinalLineMayLackItsLineEnd)
{
    const QByteArray line = responseFrame(kRcZeroPayload);
    EXPECT_EQ(McubootSerialUpdater::decodeSmpFrame(line.chopped(1)), kRcZeroPayload);
}

TEST(SmpDecode, SeveralFramesInOneBufferDecodeAsOnePacket)
{
    const QByteArray first = cborMap({{"off", cborInt(1483)}});
    const QByteArray second = cborMap({{"rc", cborInt(3)}});
    const QByteArray received = responseFrame(first) + responseFrame(second);
    // The first packet's own length field decides what is returned.
    EXPECT_EQ(McubootSerialUpdater::decodeSmpFrame(received), first);
}

TEST(SmpDecode, PayloadLengthMustStayInsideTheCheckedPacket)
{
    // Header claims 5 payload bytes, the packet holds 1; bytes after the CRC
    // would otherwise be handed out as payload.
    const auto packetWithTrailer = [](const char* headerHex) {
        const QByteArray body = QByteArray::fromHex(headerHex) + '\xA0';
        const uint16_t crc = McubootSerialUpdater::crc16(reinterpret_cast<const uint8_t*>(body.constData()),
                                                         static_cast<std::size_t>(body.size()), 0x9655) ^ 0x1D0F;
        QByteArray packet = QByteArray::fromHex("000b") + body;
        return packet.append(static_cast<char>(crc >> 8)).append(static_cast<char>(crc & 0xFF)).append("extra!");
    };
    EXPECT_TRUE(McubootSerialUpdater::decodeSmpFrame(responseLine(packetWithTrailer("0300000500010000"))).isEmpty());
    EXPECT_EQ(McubootSerialUpdater::decodeSmpFrame(responseLine(packetWithTrailer("0300000100010000"))),
              QByteArray("\xA0"));
}

struct MalformedFrame {
    const char* name;
    QByteArray received;
};

QByteArray withByte(QByteArray packet, int at, char value)
{
    packet[at] = value;
    return packet;
}

std::vector<MalformedFrame> malformedFrames()
{
    const QByteArray good = kAcceptedPacket;
    return {
        {"empty", {}},
        {"line end only", "\n\n"},
        {"no marker", good.toBase64() + '\n'},
        {"marker without text", "\x06\x09\n"},
        {"single marker byte", "\x06"},
        {"text outside the alphabet", "\x06\x09!!!!****\n"},
        {"eleven bytes", responseLine(good.left(11))},
        {"length below ten", responseLine(withByte(withByte(good, 0, 0), 1, 9))},
        {"length beyond data", responseLine(withByte(good, 1, 0x10))},
        {"payload length beyond data", responseLine(withByte(good, 5, 0x40))},
        {"crc flipped", responseLine(withByte(good, 16, '\x9E'))},
        {"payload flipped", responseLine(withByte(good, 12, 'q'))},
        {"truncated text", "\x06\x09" + good.toBase64().left(12) + '\n'},
    };
}

TEST(SmpDecode, MalformedInputsYieldNothing)
{
    for (const MalformedFrame& frame : malformedFrames()) {
        const ExactBuffer exact(frame.received);
        EXPECT_TRUE(McubootSerialUpdater::decodeSmpFrame(exact.view()).isEmpty()) << frame.name;
    }
}

TEST(SmpDecode, EveryPrefixOfAValidFrameIsReadSafely)
{
    const QByteArray payload = cborMap({{"rc", cborInt(0)}, {"data", cborBytes("serial-0042")}});
    const QByteArray line = markerLine("\x06\x09", responsePacket(payload).toBase64().left(32)) + "noise\n"
                            + markerLine("\x04\x14", responsePacket(payload).toBase64().mid(32));
    // Padding may be cut off; any data character may not.
    qsizetype completeText = line.size() - 1;
    while (line[completeText - 1] == '=')
        --completeText;
    for (qsizetype length = 0; length <= line.size(); ++length) {
        const ExactBuffer exact(line.left(length));
        const QByteArray decoded = McubootSerialUpdater::decodeSmpFrame(exact.view());
        if (length < completeText)
            EXPECT_TRUE(decoded.isEmpty()) << "prefix " << length;
        else
            EXPECT_EQ(decoded, payload) << "prefix " << length;
    }
}

} // namespace
