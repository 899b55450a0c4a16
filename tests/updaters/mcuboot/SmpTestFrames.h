#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>
#include <utility>

// Hand-made CBOR items and unit responses, written independently of the codec
// under test.
namespace smp_test {

QByteArray cborInt(int64_t value);
QByteArray cborBytes(const QByteArray& bytes);
QByteArray cborText(const QByteArray& text);
// A definite-length map of text keys and raw item bytes.
QByteArray cborMap(std::initializer_list<std::pair<const char*, QByteArray>> entries);

// A response packet (length, header, payload, response CRC) before base64.
QByteArray responsePacket(const QByteArray& payload, uint16_t group = 1, uint8_t command = 0);
// The packet as one line: 06 09, base64, 0A.
QByteArray responseLine(const QByteArray& packet);
inline QByteArray responseFrame(const QByteArray& payload, uint16_t group = 1, uint8_t command = 0)
{
    return responseLine(responsePacket(payload, group, command));
}

} // namespace smp_test
