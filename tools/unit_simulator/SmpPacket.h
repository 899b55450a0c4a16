#pragma once

#include <cstdint>
#include <vector>

// One SMP message: the 8-byte header fields and the CBOR payload.
struct SmpPacket {
    static constexpr std::size_t kHeaderSize = 8;

    std::uint8_t operation = 0; // 0 read, 1 read response, 2 write, 3 write response
    std::uint8_t flags = 0;
    std::uint16_t group = 0;
    std::uint8_t sequence = 0;
    std::uint8_t command = 0;
    std::vector<std::uint8_t> payload;

    // Header (payload length from `payload`) followed by the payload.
    std::vector<std::uint8_t> headerAndPayload() const;
    // The answer skeleton: response operation, same group, sequence, command.
    SmpPacket responseTo(std::vector<std::uint8_t> responsePayload) const;
};
