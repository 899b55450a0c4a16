#pragma once

#include "FakeStm32Client.h"
#include "UartFirmwareUpdater.h"

// The UART back-end with a scripted client, its link state and its driver
// bridge in reach of the tests.
class TestableUartUpdater : public UartFirmwareUpdater {
public:
    static constexpr std::uint32_t kStartAddress = 0x08004000;
    static constexpr std::uint32_t kProgrammingAddress = 0x08008000;
    static constexpr std::uint32_t kOtpAddress = 0x1FFF7000;
    static constexpr std::uint64_t kOtpSize = 512;
    static constexpr std::uint32_t kBootModeAddress = 0x2001FFF0;

    explicit TestableUartUpdater(const QString& firmwarePath, const QString& targetType = QStringLiteral("main"))
        : TestableUartUpdater(firmwarePath, targetType, new FakeStm32Client)
    {
    }

    FakeStm32Client& client() { return fake; }
    hal::uart::IUartDriver& driver() { return uartDriver(); }
    bool linked() const { return hasSerialLink(); }

private:
    TestableUartUpdater(const QString& firmwarePath, const QString& targetType, FakeStm32Client* client)
        : UartFirmwareUpdater(firmwarePath, kStartAddress, kProgrammingAddress, kOtpAddress, kOtpSize,
                              kBootModeAddress, targetType, std::unique_ptr<IStm32Updater>(client), nullptr),
          fake(*client)
    {
    }

    FakeStm32Client& fake;
};
