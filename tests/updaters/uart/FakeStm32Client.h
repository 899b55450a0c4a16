#pragma once

#include "IStm32Updater.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// A bootloader client that follows a script and records every call, for the
// parts of the UART back-end that do not need a unit on the line.
class FakeStm32Client : public IStm32Updater {
public:
    struct Script {
        std::function<bool()> connect = [] { return true; };
        bool flashes = true;
        std::vector<std::pair<State, unsigned>> progress;
        bool exitThrows = false;
        std::vector<std::byte> memory;
    };

    Script script;

    // Calls in order: "ConnectDevice", "Flash", "ExitDfu", "ReadMemory", "DisconnectDevice".
    QStringList calls;
    QByteArray flashedImage;
    std::uint32_t flashAddress = 0;
    std::pair<std::uint32_t, std::uint32_t> exitAddresses{};
    std::pair<std::uint32_t, std::uint64_t> readRequest{};

    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress,
               std::uint32_t address) noexcept override;
    bool Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept override;
    bool GetTrailerFlag() const override;
    void ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress) override;
    std::vector<std::byte> ReadMemory(std::uint32_t address, std::uint64_t size) override;
    bool ConnectDevice() override;
    void DisconnectDevice() override;
};
