#include "SmpTestFrames.h"

#include "McubootSerialUpdater.h"

namespace smp_test {

namespace {

QByteArray head(uint8_t major, uint64_t argument)
{
    QByteArray bytes;
    const auto initial = [&](uint8_t info) { bytes.append(static_cast<char>(major << 5 | info)); };
    int width = 0;
    if (argument <= 23) {
        initial(static_cast<uint8_t>(argument));
    } else if (argument <= 0xFF) {
        initial(24), width = 1;
    } else if (argument <= 0xFFFF) {
        initial(25), width = 2;
    } else if (argument <= 0xFFFFFFFFull) {
        initial(26), width = 4;
    } else {
        initial(27), width = 8;
    }
    for (int i = width - 1; i >= 0; --i)
        bytes.append(static_cast<char>(argument >> (8 * i)));
    return bytes;
}

} // namespace

QByteArray cborInt(int64_t value)
{
    return value >= 0 ? head(0, static_cast<uint64_t>(value)) : head(1, static_cast<uint64_t>(-1 - value));
}

QByteArray cborBytes(const QByteArray& bytes)
{
    return head(2, static_cast<uint64_t>(bytes.size())) + bytes;
}

QByteArray cborText(const QByteArray& text)
{
    return head(3, static_cast<uint64_t>(text.size())) + text;
}

QByteArray cborMap(std::initializer_list<std::pair<const char*, QByteArray>> entries)
{
    QByteArray map = head(5, entries.size());
    for (const auto& [key, value] : entries)
        map += cborText(key) + value;
    return map;
}

QByteArray responsePacket(const QByteArray& payload, uint16_t group, uint8_t command)
{
    QByteArray body;
    const auto big16 = [](QByteArray& to, int value) {
        to.append(static_cast<char>(value >> 8));
        to.append(static_cast<char>(value & 0xFF));
    };
    body.append('\x03').append('\0');
    big16(body, static_cast<int>(payload.size()));
    big16(body, group);
    body.append('\0').append(static_cast<char>(command));
    body += payload;
    // Units seal responses with this CRC: initial 0x9655, final XOR 0x1D0F.
    const uint16_t crc = McubootSerialUpdater::crc16(reinterpret_cast<const uint8_t*>(body.constData()),
                                                     static_cast<std::size_t>(body.size()), 0x9655) ^ 0x1D0F;
    QByteArray packet;
    big16(packet, static_cast<int>(body.size() + 2));
    packet += body;
    big16(packet, crc);
    return packet;
}

QByteArray responseLine(const QByteArray& packet)
{
    return QByteArray("\x06\x09") + packet.toBase64() + '\n';
}

} // namespace smp_test
