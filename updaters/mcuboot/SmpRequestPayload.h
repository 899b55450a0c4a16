#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

// CBOR payloads of the requests we send: indefinite-length maps with text
// keys and unsigned numbers, encoded into fixed buffers.
class SmpRequestPayload {
public:
    // BF FF: the image-state read and the reset request.
    static std::optional<QByteArray> emptyMap();
    // {"key": key}: the OTP value read.
    static std::optional<QByteArray> otpRead(uint32_t key);
    // {"data", "off"} and, for the first chunk only, {"len", "image": 0}.
    static std::optional<QByteArray> uploadChunk(const QByteArray& chunk, uint32_t offset, uint32_t total);
};
