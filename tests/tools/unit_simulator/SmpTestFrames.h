#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>

// The updater's side of SMP framing, written out by hand for the tests:
// request frames as the updater builds them, and the updater's acceptance
// rule for responses (marker lines joined, response CRC checked).
class SmpTestFrames {
public:
    struct Response {
        QByteArray header; // the 8 header bytes
        QByteArray payload;
    };

    static std::uint16_t crc16(const QByteArray& bytes, std::uint16_t initial);
    static QByteArray request(std::uint8_t operation, std::uint16_t group, std::uint8_t command,
                              const QByteArray& payload, std::uint8_t sequence = 0);
    // The packet (length, header, payload, CRC) carried by the marker lines.
    static QByteArray joinedPacket(const QByteArray& received);
    // Empty unless the packet passes the response CRC check.
    static std::optional<Response> decode(const QByteArray& received);
    // The CRC a request would carry: what a response must NOT carry.
    static bool hasRequestStyleCrc(const QByteArray& received);
};
