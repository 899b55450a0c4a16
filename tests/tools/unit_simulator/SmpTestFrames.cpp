#include "SmpTestFrames.h"

std::uint16_t SmpTestFrames::crc16(const QByteArray& bytes, std::uint16_t initial)
{
    std::uint16_t reg = initial;
    for (const char c : bytes) {
        reg ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = static_cast<std::uint16_t>((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
    }
    return reg;
}

QByteArray SmpTestFrames::request(std::uint8_t operation, std::uint16_t group, std::uint8_t command,
                                  const QByteArray& payload, std::uint8_t sequence)
{
    QByteArray covered;
    covered.append(char(operation)).append(char(0));
    covered.append(char(payload.size() >> 8)).append(char(payload.size()));
    covered.append(char(group >> 8)).append(char(group)).append(char(sequence)).append(char(command));
    covered.append(payload);
    const std::uint16_t crc = crc16(covered, 0xFFFF) ^ 0xFFFF;
    QByteArray packet;
    packet.append(char((covered.size() + 2) >> 8)).append(char(covered.size() + 2));
    packet.append(covered).append(char(crc >> 8)).append(char(crc));
    return QByteArray("\x06\x09") + packet.toBase64() + '\n';
}

QByteArray SmpTestFrames::joinedPacket(const QByteArray& received)
{
    QByteArray text;
    for (const QByteArray& line : received.split('\n')) {
        if (line.startsWith("\x06\x09") || line.startsWith("\x04\x14"))
            text += line.mid(2);
    }
    return QByteArray::fromBase64(text);
}

std::optional<SmpTestFrames::Response> SmpTestFrames::decode(const QByteArray& received)
{
    const QByteArray packet = joinedPacket(received);
    if (packet.size() < 12)
        return std::nullopt;
    const int length = (std::uint8_t(packet[0]) << 8) | std::uint8_t(packet[1]);
    if (length < 10 || length + 2 > packet.size())
        return std::nullopt;
    // The updater's two-step form: header with initial 0xFFFF then XOR 0xE2F0,
    // payload continued from there, final XOR 0x1D0F.
    const std::uint16_t afterHeader = crc16(packet.mid(2, 8), 0xFFFF) ^ 0xE2F0;
    const std::uint16_t crc = crc16(packet.mid(10, length - 10), afterHeader) ^ 0x1D0F;
    const std::uint16_t stored = static_cast<std::uint16_t>((std::uint8_t(packet[length]) << 8) | std::uint8_t(packet[length + 1]));
    if (crc != stored)
        return std::nullopt;
    const int payloadLength = (std::uint8_t(packet[4]) << 8) | std::uint8_t(packet[5]);
    if (payloadLength + 10 > packet.size())
        return std::nullopt;
    return Response{packet.mid(2, 8), packet.mid(10, payloadLength)};
}

bool SmpTestFrames::hasRequestStyleCrc(const QByteArray& received)
{
    const QByteArray packet = joinedPacket(received);
    if (packet.size() < 12)
        return false;
    const std::uint16_t crc = crc16(packet.mid(2, packet.size() - 4), 0xFFFF) ^ 0xFFFF;
    return crc == static_cast<std::uint16_t>((std::uint8_t(packet[packet.size() - 2]) << 8) | std::uint8_t(packet.back()));
}
