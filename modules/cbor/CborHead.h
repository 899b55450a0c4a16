#pragma once

#include <cstddef>
#include <cstdint>

// The initial byte and argument of one CBOR data item, parsed without any
// codec state so that both the readers and the skipper can use it.
struct CborHead {
    uint8_t major = 0;
    uint8_t info = 0;
    uint64_t argument = 0;
    std::size_t size = 0;

    static constexpr uint8_t kIndefinite = 31;

    static uint8_t majorOf(uint8_t initial) { return initial >> 5; }
    static uint8_t infoOf(uint8_t initial) { return initial & 0x1F; }

    // Parses the head at `at`; the argument may use at most `widthBytes`
    // bytes. Returns 0 or the CborError code.
    int32_t parse(const uint8_t* at, const uint8_t* end, std::size_t widthBytes);
};
