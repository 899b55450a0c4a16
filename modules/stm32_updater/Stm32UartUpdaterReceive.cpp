// Transmit and receive plumbing of Stm32UartUpdater.
#include "Stm32UartUpdater.h"

#include "BootloaderFrames.h"
#include "ExceptionString.h"

namespace stm32_updater {

namespace {

constexpr std::uint8_t kAck79 = 0x79;
constexpr std::uint8_t kNack79 = 0x1F;
constexpr std::uint8_t kAck75 = 0x75;
constexpr std::uint8_t kNack75 = 0x3F;

} // namespace

void Stm32UartUpdater::Send(std::span<const std::byte> frame) { driver_->Transmit(frame); }

// Only an answer that comes after a command counts: whatever is still unread
// (line noise, a late or repeated reply) would otherwise answer it.
void Stm32UartUpdater::SendCommand(std::span<const std::byte> command)
{
    ring_.DiscardUnread();
    Send(command);
}

void Stm32UartUpdater::SendCommand(std::uint8_t code) { SendCommand(frames::Command(code)); }

void Stm32UartUpdater::SendAddress(std::uint32_t address) { Send(frames::Address(address)); }

hal::uart::SubscriptionHandle Stm32UartUpdater::SubscribeReceiver()
{
    return driver_->SubscribeOnRx([this](std::byte byte) { OnByteReceived(byte); });
}

// Runs on the port's thread.
void Stm32UartUpdater::OnByteReceived(std::byte byte)
{
    ring_.Push(byte);
    wakeUp_.release();
}

// A permit may stand for a byte that was dropped or already taken, so an
// empty ring after a permit just means another look and another wait.
std::optional<std::byte> Stm32UartUpdater::TakeByte(int timeoutMs)
{
    while (true) {
        if (const auto byte = ring_.Pop())
            return byte;
        if (!wakeUp_.tryAcquire(1, timeoutMs))
            return std::nullopt;
    }
}

std::span<const std::byte> Stm32UartUpdater::WaitForData(std::size_t count, int timeoutMs)
{
    if (count > rxBuffer_.size())
        throw lumavex::ExceptionString("Too many bytes to receive, command {}", commandName_);
    for (rxCursor_ = 0; rxCursor_ < count; ++rxCursor_) {
        const auto byte = TakeByte(timeoutMs);
        if (!byte)
            throw lumavex::ExceptionString("receive timeout for {} bytes, command {}", count, commandName_);
        rxBuffer_[rxCursor_] = *byte;
    }
    return std::span(rxBuffer_).first(count);
}

std::size_t Stm32UartUpdater::WaitForNBytesToReceive(int timeoutMs)
{
    const std::size_t count = std::to_integer<std::size_t>(WaitForData(1, timeoutMs)[0]) + 1;
    if (count > rxBuffer_.size())
        throw lumavex::ExceptionString("Too many bytes to receive, command {}", commandName_);
    return count;
}

bool Stm32UartUpdater::WaitForDfuAckNack(int timeoutMs)
{
    return IsAck(std::to_integer<std::uint8_t>(WaitForData(1, timeoutMs)[0]));
}

// The first reply byte tells which ACK/NACK pair this bootloader uses; it is
// kept for the life of the object.
bool Stm32UartUpdater::IsAck(std::uint8_t reply, bool nackMayTeach)
{
    if (!ackLearned_ && !LearnPairOf(reply, nackMayTeach))
        throw lumavex::ExceptionString("Invalid ACK byte setup 0x{:02x}, command {}", reply, commandName_);
    if (reply == ackByte_)
        return true;
    if (reply == nackByte_)
        return false;
    throw lumavex::ExceptionString("Invalid ACK/NACK received 0x{:02x}, command {}", reply, commandName_);
}

void Stm32UartUpdater::WaitForDfuAck(int timeoutMs)
{
    if (!WaitForDfuAckNack(timeoutMs))
        throw lumavex::ExceptionString("NACK received, command {}", commandName_);
}

// Only the answer to the second synchronisation byte may teach the pair by
// its NACK: there a NACK is the expected answer of a listening bootloader.
bool Stm32UartUpdater::LearnPairOf(std::uint8_t reply, bool nackMayTeach)
{
    for (const auto& [ack, nack] : {std::pair{kAck79, kNack79}, std::pair{kAck75, kNack75}}) {
        if (reply == ack || (nackMayTeach && reply == nack)) {
            ackByte_ = ack;
            nackByte_ = nack;
            ackLearned_ = true;
            return true;
        }
    }
    return false;
}

} // namespace stm32_updater
