#include "Stm32Frames.h"

namespace {

char xorOf(const QByteArray& bytes)
{
    char sum = 0;
    for (const char b : bytes)
        sum = char(sum ^ b);
    return sum;
}

} // namespace

QByteArray Stm32Frames::command(std::uint8_t code)
{
    return QByteArray(1, char(code)).append(char(code ^ 0xFF));
}

QByteArray Stm32Frames::address(std::uint32_t address)
{
    QByteArray frame;
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(char(address >> shift));
    return frame.append(xorOf(frame));
}

QByteArray Stm32Frames::data(const QByteArray& bytes)
{
    QByteArray frame(1, char(bytes.size() - 1));
    frame.append(bytes);
    return frame.append(xorOf(frame));
}
