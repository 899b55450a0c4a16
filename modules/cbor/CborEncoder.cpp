#include "CborEncoder.h"

#include <cstring>

namespace {

constexpr uint8_t kMajorUnsigned = 0;
constexpr uint8_t kMajorBytes = 2;
constexpr uint8_t kMajorText = 3;

std::size_t roomLeft(const zcbor_state_t* state)
{
    return static_cast<std::size_t>(state->end - state->cursor);
}

// Size of the shortest head that carries `argument`.
std::size_t headSize(uint64_t argument)
{
    if (argument <= 23)
        return 1;
    if (argument <= 0xFF)
        return 2;
    if (argument <= 0xFFFF)
        return 3;
    if (argument <= 0xFFFFFFFF)
        return 5;
    return 9;
}

void writeHead(zcbor_state_t* state, uint8_t major, uint64_t argument)
{
    const std::size_t size = headSize(argument);
    static constexpr uint8_t kInfoForSize[] = {0, 0, 24, 25, 0, 26, 0, 0, 0, 27};
    const uint8_t info = size == 1 ? static_cast<uint8_t>(argument) : kInfoForSize[size];
    *state->cursor++ = static_cast<uint8_t>(major << 5 | info);
    for (std::size_t shift = (size - 1) * 8; shift > 0; shift -= 8)
        *state->cursor++ = static_cast<uint8_t>(argument >> (shift - 8));
}

bool putByte(zcbor_state_t* state, uint8_t byte)
{
    if (state->cursor >= state->end)
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    *state->cursor++ = byte;
    return true;
}

bool putString(zcbor_state_t* state, uint8_t major, const void* data, std::size_t length)
{
    const std::size_t room = state->cursor < state->end ? roomLeft(state) : 0;
    if (room == 0 || length > room || headSize(length) > room - length)
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    writeHead(state, major, length);
    if (length > 0)
        std::memcpy(state->cursor, data, length);
    state->cursor += length;
    return true;
}

} // namespace

bool cbor_put_map_begin(zcbor_state_t* state)
{
    return putByte(state, 0xBF);
}

bool cbor_put_container_end(zcbor_state_t* state)
{
    return putByte(state, 0xFF);
}

bool cbor_put_uint32(zcbor_state_t* state, uint32_t value)
{
    if (state->cursor >= state->end || headSize(value) > roomLeft(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    writeHead(state, kMajorUnsigned, value);
    return true;
}

bool cbor_put_tstr(zcbor_state_t* state, const void* data, std::size_t length)
{
    return putString(state, kMajorText, data, length);
}

bool cbor_put_bstr(zcbor_state_t* state, const void* data, std::size_t length)
{
    return putString(state, kMajorBytes, data, length);
}
