#include "Stm32UartUpdater.h"

#include "ClientErrorLog.h"
#include "ExceptionString.h"

#include <chrono>
#include <thread>

namespace stm32_updater {

namespace {

constexpr std::uint8_t kVersion31 = 0x31;
constexpr std::uint8_t kVersion33 = 0x33;

} // namespace

Stm32UartUpdater::Stm32UartUpdater(LineControl reset, LineControl bootSelect, hal::uart::IUartDriver* driver,
                                   IDispatcher* dispatcher, std::mutex* writeLock, bool trailerFlag, bool globalErase,
                                   Hook preReset, Hook postReset, std::uint32_t uartMode)
    : reset_(std::move(reset)), bootSelect_(std::move(bootSelect)), driver_(driver), dispatcher_(dispatcher),
      writeLock_(writeLock), trailerFlag_(trailerFlag), globalErase_(globalErase), preReset_(std::move(preReset)),
      postReset_(std::move(postReset)), uartMode_(uartMode), progress_([](State, unsigned) {})
{
}

Stm32UartUpdater::~Stm32UartUpdater() = default;

bool Stm32UartUpdater::Flash(std::span<const std::byte> image, const ProgressCallback& progress,
                             std::uint32_t address) noexcept
{
    std::lock_guard lock(*writeLock_);
    try {
        FlashImage(image, progress, address);
        return true;
    } catch (const std::exception& error) {
        // Besides protocol faults this catches a throwing progress callback,
        // which would otherwise end the program inside a noexcept call.
        LogClientError(error.what());
        return false;
    }
}

bool Stm32UartUpdater::Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept
{
    return Flash(image, progress, kDefaultFlashBase);
}

bool Stm32UartUpdater::GetTrailerFlag() const { return trailerFlag_; }

void Stm32UartUpdater::ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress)
{
    static constexpr std::array<std::byte, 4> kMarker{std::byte{'P'}, std::byte{'U'}, std::byte{'W'}, std::byte{'F'}};
    const auto settings = driver_->GetConfiguration();
    driver_->Configure(uartMode_, 1);
    auto subscription = SubscribeReceiver();
    CmdWrite(markerAddress, kMarker);
    CmdGo(goAddress);
    subscription.reset();
    driver_->Configure(settings.first, settings.second);
}

std::vector<std::byte> Stm32UartUpdater::ReadMemory(std::uint32_t address, std::uint64_t size)
{
    commandName_ = "Read";
    std::vector<std::byte> data;
    try {
        for (std::uint64_t offset = 0; offset < size; offset += kReadBlockSize) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlockSize, size - offset));
            ReadBlock(static_cast<std::uint32_t>(address + offset), count, data);
        }
    } catch (const lumavex::ExceptionString& error) {
        LogClientError(error.what());
        return {};
    }
    return data;
}

bool Stm32UartUpdater::ConnectDevice()
{
    reset_(true);
    savedSettings_ = driver_->GetConfiguration();
    driver_->Configure(uartMode_, 1);
    rxSubscription_ = SubscribeReceiver();
    try {
        Connect();
        return true;
    } catch (const lumavex::ExceptionString& error) {
        LogClientError(error.what());
        return false;
    }
}

void Stm32UartUpdater::DisconnectDevice()
{
    rxSubscription_.reset();
    // Nothing to restore when no connection ever read the settings.
    if (savedSettings_)
        driver_->Configure(savedSettings_->first, savedSettings_->second);
}

void Stm32UartUpdater::Connect()
{
    ResetIntoBootloader();
    CmdInit();
    CmdGet();
    const std::uint16_t productId = CmdGetId();
    const auto device = FindStm32Device(productId);
    if (!device)
        throw lumavex::ExceptionString("product ID not supported: 0x{:04x}", productId);
    deviceInfo_ = device;
}

void Stm32UartUpdater::ResetIntoBootloader()
{
    preReset_();
    reset_(true);
    bootSelect_(true);
    std::this_thread::sleep_for(resetPauses_.bootSelectSettle);
    // Whatever arrived while the unit was running is not a bootloader reply.
    ring_.DiscardUnread();
    reset_(false);
    std::this_thread::sleep_for(resetPauses_.bootloaderStart);
    postReset_();
}

void Stm32UartUpdater::CmdInit()
{
    static constexpr std::array<std::byte, 1> kInit{std::byte{0x7F}};
    commandName_ = "Init con";
    SendCommand(kInit);
    if (const auto reply = TakeByte(kReplyTimeoutMs)) {
        if (!IsAck(std::to_integer<std::uint8_t>(*reply)))
            throw lumavex::ExceptionString("NACK received, command {}", commandName_);
        return;
    }
    // Silence: a bootloader that was synchronised before (there is no reset
    // line) took 0x7F as the first byte of a command. A second 0x7F makes the
    // pair a bad command, and its NACK shows the bootloader is listening.
    SendCommand(kInit);
    IsAck(std::to_integer<std::uint8_t>(WaitForData(1, kReplyTimeoutMs)[0]), /*nackMayTeach=*/true);
}

void Stm32UartUpdater::CmdGet()
{
    commandName_ = "Get";
    SendCommand(0x00);
    WaitForDfuAck(kReplyTimeoutMs);
    const auto reply = WaitForData(WaitForNBytesToReceive(kReplyTimeoutMs), kReplyTimeoutMs);
    const auto version = std::to_integer<std::uint8_t>(reply[0]);
    std::uint16_t flags = 0;
    for (std::byte code : reply.subspan(1)) {
        switch (std::to_integer<std::uint8_t>(code)) {
        case 0x00: flags |= FlagGet; break;
        case 0x01: flags |= FlagGetVersion; break;
        case 0x02: flags |= FlagGetId; break;
        case 0x31: flags |= FlagWrite; break;
        case 0x43: flags |= FlagErase; break;
        case 0x44: flags |= FlagEraseExt; break;
        default: break;
        }
    }
    WaitForDfuAck(kReplyTimeoutMs);
    commandFlags_ = flags;
    if (version != kVersion31 && version != kVersion33)
        throw lumavex::ExceptionString("protocol version wrong: 0x{:02x}", version);
}

std::uint16_t Stm32UartUpdater::CmdGetId()
{
    commandName_ = "Get ID";
    SendCommand(0x02);
    WaitForDfuAck(kReplyTimeoutMs);
    const std::size_t count = WaitForNBytesToReceive(kReplyTimeoutMs);
    if (count > 2)
        throw lumavex::ExceptionString("Too many bytes, not {}", count);
    std::uint16_t productId = 0;
    for (std::byte byte : WaitForData(count, kReplyTimeoutMs))
        productId = static_cast<std::uint16_t>(productId << 8 | std::to_integer<std::uint16_t>(byte));
    WaitForDfuAck(kReplyTimeoutMs);
    return productId;
}

} // namespace stm32_updater
