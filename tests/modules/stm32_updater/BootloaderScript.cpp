#include "BootloaderScript.h"

namespace script {

Bytes Of(std::initializer_list<int> values)
{
    Bytes bytes;
    for (int value : values)
        bytes.push_back(static_cast<std::byte>(value));
    return bytes;
}

Bytes Ack() { return Of({kAck}); }

Bytes Nack() { return Of({kNack}); }

Bytes CommandsWithErase() { return Of({0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92}); }

Bytes CommandsWithEraseExt() { return Of({0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x44, 0x63, 0x73, 0x82, 0x92}); }

Bytes GetReply(std::uint8_t version, const Bytes& commands, std::uint8_t ack)
{
    Bytes reply{std::byte{ack}, std::byte(commands.size()), std::byte{version}};
    reply.insert(reply.end(), commands.begin(), commands.end());
    reply.push_back(std::byte{ack});
    return reply;
}

Bytes GetIdReply(const Bytes& productId, std::uint8_t ack)
{
    Bytes reply{std::byte{ack}, std::byte(productId.size() - 1)};
    reply.insert(reply.end(), productId.begin(), productId.end());
    reply.push_back(std::byte{ack});
    return reply;
}

void Connect(FakeUartDriver& uart, const Bytes& commands, std::uint8_t ack)
{
    uart.Script(Bytes{std::byte{ack}});
    uart.Script(GetReply(0x31, commands, ack));
    uart.Script(GetIdReply(Of({0x04, 0x69}), ack));
}

void GetVersion(FakeUartDriver& uart, std::uint8_t ack)
{
    uart.Script(Bytes{std::byte{ack}, std::byte{0x31}, std::byte{0x00}, std::byte{0x00}, std::byte{ack}});
}

} // namespace script
