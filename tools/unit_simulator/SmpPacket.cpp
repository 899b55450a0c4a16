#include "SmpPacket.h"

std::vector<std::uint8_t> SmpPacket::headerAndPayload() const
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(8 + payload.size());
    // Filled in two steps: GCC 12 at -O2 warns falsely on inserting after an
    // initializer-list construction.
    bytes.assign({operation,
                                    flags,
                                    static_cast<std::uint8_t>(payload.size() >> 8),
                                    static_cast<std::uint8_t>(payload.size()),
                                    static_cast<std::uint8_t>(group >> 8),
                                    static_cast<std::uint8_t>(group),
                                    sequence,
                                    command});
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

SmpPacket SmpPacket::responseTo(std::vector<std::uint8_t> responsePayload) const
{
    SmpPacket response = *this;
    response.operation = static_cast<std::uint8_t>(operation | 1);
    response.payload = std::move(responsePayload);
    return response;
}
