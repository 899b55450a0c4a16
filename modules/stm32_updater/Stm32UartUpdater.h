#pragma once

#include "IDispatcher.h"
#include "IStm32Updater.h"
#include "IUartDriver.h"
#include "ReceiveRing.h"
#include "Stm32DeviceTable.h"

#include <QSemaphore>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace stm32_updater {

// Drives an STM32 system bootloader over a UART (ST AN3155). Every operation
// blocks the calling worker thread; received bytes come in on the port's
// thread and are handed over through a lock-free ring and a semaphore.
class Stm32UartUpdater final : public IStm32Updater {
public:
    using LineControl = std::function<void(bool)>;
    using Hook = std::function<void()>;

    static constexpr int kReplyTimeoutMs = 1000;
    // An erase is answered once every page is erased: a real chip takes up
    // to 40 ms a page, on top of the usual reply time.
    static constexpr int kErasePerPageMs = 40;
    static constexpr std::size_t kRxBufferSize = 64;
    static constexpr std::size_t kWriteBlockSize = 256;
    static constexpr std::size_t kReadBlockSize = 32;
    // Read Memory allows up to 256 bytes a command; only the read-back uses that many.
    static constexpr std::size_t kVerifyBlockSize = 256;
    static constexpr std::size_t kTrailerSize = 8;
    static constexpr std::size_t kProgressStep = 0x2000;
    static constexpr unsigned kMaxNacks = 10;
    // A 256-byte Read Memory reply can arrive in one burst.
    static constexpr std::uint32_t kReceiveRingSlots = 2 * kVerifyBlockSize + 1;

    Stm32UartUpdater(LineControl reset, LineControl bootSelect, hal::uart::IUartDriver* driver, IDispatcher* dispatcher,
                     std::mutex* writeLock, bool trailerFlag, bool globalErase, Hook preReset, Hook postReset,
                     std::uint32_t uartMode);
    ~Stm32UartUpdater() override;

    // How long the boot-select line settles before the reset is released, and
    // how long the bootloader takes to start after it. A real unit needs both;
    // only a harness with no unit behind the line (the fuzz target) sets them
    // to zero.
    struct ResetPauses {
        std::chrono::milliseconds bootSelectSettle{100};
        std::chrono::milliseconds bootloaderStart{200};
    };
    void SetResetPauses(const ResetPauses& pauses) { resetPauses_ = pauses; }

    Stm32UartUpdater(const Stm32UartUpdater&) = delete;
    Stm32UartUpdater& operator=(const Stm32UartUpdater&) = delete;

    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress,
               std::uint32_t address) noexcept override;
    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept override;
    bool GetTrailerFlag() const override;
    void ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress) override;
    std::vector<std::byte> ReadMemory(std::uint32_t address, std::uint64_t size) override;
    bool ConnectDevice() override;
    void DisconnectDevice() override;
    std::optional<Stm32DeviceInfo> ConnectedDevice() const override { return deviceInfo_; }
    std::string VerifyImage(std::span<const std::byte> image, std::uint32_t address,
                            const ProgressCallback& progress) override;

private:
    // Bootloader commands the device listed in its Get reply.
    enum CommandFlag : std::uint16_t {
        FlagGet = 1u << 0,
        FlagGetVersion = 1u << 1,
        FlagGetId = 1u << 2,
        FlagWrite = 1u << 6,
        FlagErase = 1u << 7,
        FlagEraseExt = 1u << 8,
    };

    // Protocol steps; each throws lumavex::ExceptionString on any fault.
    void Connect();
    void ResetIntoBootloader();
    void CmdInit();
    void CmdGet();
    std::uint16_t CmdGetId();
    void CmdGetVerRops();
    void CmdErase(std::span<const std::uint8_t> pages);
    void CmdEraseExt(std::span<const std::uint16_t> pages);
    void RunErase(std::uint8_t code, std::span<const std::byte> list, std::size_t pageCount);
    std::size_t FlashPageCount() const;
    void CmdWrite(std::uint32_t address, std::span<const std::byte> bytes);
    bool WriteBlock(std::uint32_t address, std::span<const std::byte> block);
    void CmdGo(std::uint32_t address);
    void ReadBlock(std::uint32_t address, std::size_t count, std::vector<std::byte>& out);
    // Read Memory up to the point where the data follows.
    void StartRead(std::uint32_t address, std::size_t count);
    struct Difference {
        std::size_t offset;
        std::byte held;
    };
    // Reads expected.size() bytes at address; the first that differs.
    std::optional<Difference> CompareBlock(std::uint32_t address, std::span<const std::byte> expected);
    void FlashImage(std::span<const std::byte> image, const ProgressCallback& progress, std::uint32_t address);
    void EraseForImage(std::uint32_t address, std::size_t imageSize);
    std::array<std::byte, kTrailerSize> MakeTrailer(std::span<const std::byte> image) const;
    void LeaveBootloaderAfterFlash();

    // Receive side, all with a per-byte timeout.
    std::span<const std::byte> WaitForData(std::size_t count, int timeoutMs);
    std::size_t WaitForNBytesToReceive(int timeoutMs);
    bool WaitForDfuAckNack(int timeoutMs);
    void WaitForDfuAck(int timeoutMs);
    bool IsAck(std::uint8_t reply, bool nackMayTeach = false);
    bool LearnPairOf(std::uint8_t reply, bool nackMayTeach);
    std::optional<std::byte> TakeByte(int timeoutMs);

    void Send(std::span<const std::byte> frame);
    void SendCommand(std::span<const std::byte> command);
    void SendCommand(std::uint8_t code);
    void SendAddress(std::uint32_t address);
    hal::uart::SubscriptionHandle SubscribeReceiver();
    void OnByteReceived(std::byte byte);

    LineControl reset_;
    LineControl bootSelect_;
    hal::uart::IUartDriver* driver_;
    IDispatcher* dispatcher_;
    std::mutex* writeLock_;
    bool trailerFlag_;
    bool globalErase_;
    Hook preReset_;
    Hook postReset_;
    std::uint32_t uartMode_;
    ResetPauses resetPauses_;

    ReceiveRing<kReceiveRingSlots> ring_;
    QSemaphore wakeUp_{0};
    std::array<std::byte, kRxBufferSize> rxBuffer_{};
    std::size_t rxCursor_ = 0;
    std::uint8_t ackByte_ = 0;
    std::uint8_t nackByte_ = 0;
    bool ackLearned_ = false;
    std::uint16_t commandFlags_ = 0;
    std::optional<Stm32DeviceInfo> deviceInfo_;
    ProgressCallback progress_;
    const char* commandName_ = "";
    hal::uart::SubscriptionHandle rxSubscription_;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> savedSettings_;
};

} // namespace stm32_updater
