// SMP serial framing: request frames, the exchange on the port, and the
// extraction of a response payload.
#include "McubootSerialUpdater.h"

#include <QSerialPort>
#include <QThread>

namespace {

constexpr char kLineEnd = 0x0A;
constexpr char kFrameStart[] = {0x06, 0x09};
constexpr char kFrameContinuation[] = {0x04, 0x14};
constexpr int kHeaderSize = 8;
constexpr int kLengthFieldSize = 2;
constexpr int kCrcSize = 2;
constexpr int kPayloadOffset = kLengthFieldSize + kHeaderSize;
constexpr int kMaxPayload = 0xFFFF - kHeaderSize - kCrcSize;
constexpr uint16_t kCrcInitial = 0xFFFF;
constexpr uint16_t kResponseHeaderXor = 0xE2F0;
constexpr uint16_t kResponseFinalXor = 0x1D0F;
constexpr int kSettleBeforeSendMs = 10;
constexpr int kPollRoundMs = 3;
// Far more than the longest response line a unit sends; a line that goes on
// beyond it is noise and ends the exchange instead of filling memory.
constexpr qsizetype kMaxResponseBytes = 128 * 1024;

void appendBigEndian16(QByteArray& bytes, uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

uint16_t bigEndian16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) << 8 | static_cast<uint8_t>(bytes[at + 1]));
}

const uint8_t* unsignedData(const QByteArray& bytes, qsizetype at)
{
    return reinterpret_cast<const uint8_t*>(bytes.constData()) + at;
}

// The base64 text of every marker line, joined in order.
QByteArray joinMarkerLines(const QByteArray& received)
{
    QByteArray text;
    qsizetype start = 0;
    while (start < received.size()) {
        qsizetype stop = received.indexOf(kLineEnd, start);
        if (stop < 0)
            stop = received.size();
        const QByteArrayView line(received.constData() + start, stop - start);
        if (line.startsWith(QByteArrayView(kFrameStart, 2)) || line.startsWith(QByteArrayView(kFrameContinuation, 2)))
            text.append(line.data() + 2, line.size() - 2);
        start = stop + 1;
    }
    return text;
}

bool responseCrcMatches(const QByteArray& packet, uint16_t packetLength)
{
    const uint16_t seed = McubootSerialUpdater::crc16(unsignedData(packet, kLengthFieldSize), kHeaderSize, kCrcInitial)
                          ^ kResponseHeaderXor;
    const uint16_t crc = McubootSerialUpdater::crc16(unsignedData(packet, kPayloadOffset),
                                                     packetLength - kPayloadOffset, seed);
    return bigEndian16(packet, packetLength) == (crc ^ kResponseFinalXor);
}

} // namespace

uint16_t McubootSerialUpdater::crc16(const uint8_t* data, std::size_t length, uint16_t initial)
{
    uint16_t crc = initial;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

QByteArray McubootSerialUpdater::encodeSmpFrame(uint8_t operation, uint16_t group, uint8_t command,
                                                const QByteArray& payload, uint8_t sequence)
{
    // The 16-bit length field cannot describe a larger packet.
    if (payload.size() > kMaxPayload)
        return {};
    QByteArray body;
    body.append(static_cast<char>(operation));
    body.append('\0');
    appendBigEndian16(body, static_cast<uint16_t>(payload.size()));
    appendBigEndian16(body, group);
    body.append(static_cast<char>(sequence));
    body.append(static_cast<char>(command));
    body.append(payload);
    const uint16_t crc = crc16(unsignedData(body, 0), static_cast<std::size_t>(body.size()), kCrcInitial) ^ 0xFFFF;

    QByteArray packet;
    appendBigEndian16(packet, static_cast<uint16_t>(body.size() + kCrcSize));
    packet.append(body);
    appendBigEndian16(packet, crc);
    return QByteArray(kFrameStart, 2) + packet.toBase64() + kLineEnd;
}

QByteArray McubootSerialUpdater::transact(const QByteArray& frame, int timeoutMs)
{
    if (serialPort == nullptr || !serialPort->isOpen())
        return {};
    QThread::msleep(kSettleBeforeSendMs);
    discardPendingInput();
    serialPort->clear(QSerialPort::AllDirections);
    serialPort->write(frame);
    serialPort->flush();
    QThread::msleep(kPollRoundMs);

    QByteArray received;
    for (qint64 waited = 0; waited < timeoutMs; waited += kPollRoundMs) {
        if (serialPort->bytesAvailable() > 0 || serialPort->waitForReadyRead(kPollRoundMs))
            received += serialPort->readAll();
        if (received.size() > kMaxResponseBytes)
            break;
        if (!received.isEmpty() && received.endsWith(kLineEnd)) {
            QThread::msleep(kPollRoundMs);
            if (serialPort->bytesAvailable() == 0 && !serialPort->waitForReadyRead(0))
                break;
            received += serialPort->readAll();
        }
    }
    return received;
}

QByteArray McubootSerialUpdater::decodeSmpFrame(const QByteArray& received)
{
    const QByteArray text = joinMarkerLines(received);
    if (text.isEmpty())
        return {};
    const QByteArray packet = QByteArray::fromBase64(text);
    if (packet.size() < kPayloadOffset + kCrcSize)
        return {};
    const uint16_t packetLength = bigEndian16(packet, 0);
    if (packetLength + kCrcSize > packet.size() || packetLength < kPayloadOffset)
        return {};
    if (!responseCrcMatches(packet, packetLength))
        return {};
    // Only bytes the CRC covered count as payload.
    const uint16_t payloadLength = bigEndian16(packet, 4);
    if (kPayloadOffset + payloadLength > packetLength)
        return {};
    return packet.mid(kPayloadOffset, payloadLength);
}

void McubootSerialUpdater::discardPendingInput()
{
    serialPort->waitForReadyRead(0);
    serialPort->readAll();
}
