#pragma once

#include "SmpPacket.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// How a response is put on the wire, including the deliberate faults.
struct SmpResponseStyle {
    bool requestStyleCrc = false; // a CRC made the request way: wrong for a response
    std::size_t lineChars = 0;    // base64 characters per line, 0 = one line
    bool noiseLines = false;      // unrelated lines between the continuation lines
};

// Serial framing of SMP: 06 09 start lines and 04 14 continuation lines of
// base64 text holding length, header, payload and CRC.
class SmpLineCodec {
public:
    struct Received {
        std::optional<SmpPacket> packet; // empty when the frame was rejected
        std::string problem;             // why it was rejected
    };

    // Takes received bytes; returns every frame completed by them, in order.
    std::vector<Received> feed(std::span<const std::uint8_t> bytes);

    static std::vector<std::uint8_t> encodeResponse(const SmpPacket& response, const SmpResponseStyle& style);
    static std::uint16_t requestCrc(std::span<const std::uint8_t> headerAndPayload);
    static std::uint16_t responseCrc(std::span<const std::uint8_t> headerAndPayload);

private:
    std::optional<Received> takeLine(const std::string& line);
    std::optional<Received> tryComplete();
    static Received parsePacket(const std::vector<std::uint8_t>& packet);

    std::string line;      // bytes of the line being received
    std::string frameText; // base64 text of the frame being joined
    bool inFrame = false;
};
