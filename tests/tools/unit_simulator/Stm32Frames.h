#pragma once

#include <QByteArray>
#include <cstdint>

// Host-side AN3155 frames, built by hand for the tests.
class Stm32Frames {
public:
    static constexpr char kAck = 0x79;
    static constexpr char kNack = 0x1F;

    static QByteArray command(std::uint8_t code);
    static QByteArray address(std::uint32_t address);
    // N-1, the bytes, then the XOR of all of them.
    static QByteArray data(const QByteArray& bytes);
};
