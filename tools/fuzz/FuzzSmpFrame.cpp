// Fuzz target: extraction of a response payload from received bytes.
#include "McubootSerialUpdater.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Seals `payload` as a unit would: length, header, payload, response CRC.
QByteArray responsePacket(const QByteArray& payload)
{
    QByteArray body = QByteArray::fromHex("0300000000010000");
    body[2] = static_cast<char>(payload.size() >> 8);
    body[3] = static_cast<char>(payload.size() & 0xFF);
    body += payload;
    const uint16_t crc = McubootSerialUpdater::crc16(reinterpret_cast<const uint8_t*>(body.constData()),
                                                     static_cast<std::size_t>(body.size()), 0x9655) ^ 0x1D0F;
    const auto length = static_cast<uint16_t>(body.size() + 2);
    QByteArray packet;
    packet.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF)).append(body);
    return packet.append(static_cast<char>(crc >> 8)).append(static_cast<char>(crc & 0xFF));
}

// Splits the base64 text over a start line and continuation lines, with a
// noise line in between, as a unit with a short line buffer would.
QByteArray splitIntoLines(const QByteArray& text, int width)
{
    QByteArray lines;
    for (qsizetype at = 0; at < text.size(); at += width) {
        lines += at == 0 ? QByteArray("\x06\x09") : QByteArray("\x04\x14");
        lines += text.mid(at, width) + "\nnoise\n";
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray received = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray payload = McubootSerialUpdater::decodeSmpFrame(received);
    if (payload.size() > received.size())
        std::abort();
    // Round trip: any payload sealed by a unit comes back unchanged.
    if (size > 1 && size < 0xFF00) {
        const QByteArray body = received.mid(1);
        const int width = 4 * (1 + data[0] % 32);
        if (McubootSerialUpdater::decodeSmpFrame(splitIntoLines(responsePacket(body).toBase64(), width)) != body)
            std::abort();
    }
    return 0;
}
