#pragma once

#include "FakeUartDriver.h"

#include <cstdint>
#include <initializer_list>

// Reply bytes of a scripted STM32 bootloader, one entry per frame the client sends.
namespace script {

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNack = 0x1F;

Bytes Of(std::initializer_list<int> values);
Bytes Ack();
Bytes Nack();

// Command codes the scripted bootloader lists in its Get reply.
Bytes CommandsWithErase();
Bytes CommandsWithEraseExt();

Bytes GetReply(std::uint8_t version, const Bytes& commands, std::uint8_t ack = kAck);
Bytes GetIdReply(const Bytes& productId, std::uint8_t ack = kAck);

// Replies to Init, Get and Get ID of a supported unit (product 0x0469).
void Connect(FakeUartDriver& uart, const Bytes& commands = CommandsWithErase(), std::uint8_t ack = kAck);
// Replies to Get Version.
void GetVersion(FakeUartDriver& uart, std::uint8_t ack = kAck);

} // namespace script
