#pragma once

#include "IFwUpdater.h"
#include "Stm32DeviceTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// An STM32 built-in bootloader, whatever the transport.
class IStm32Updater : public IFwUpdater {
public:
    // Writes the marker "PUWF" at markerAddress, then starts the code at
    // goAddress. May throw lumavex::ExceptionString.
    virtual void ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress) = 0;
    // The bytes read, or an empty vector on failure.
    virtual std::vector<std::byte> ReadMemory(std::uint32_t address, std::uint64_t size) = 0;
    // Takes the unit into its bootloader and performs the handshake.
    virtual bool ConnectDevice() = 0;
    // Undoes what ConnectDevice set up on the transport.
    virtual void DisconnectDevice() = 0;
    // The device table row of the unit ConnectDevice identified; nothing
    // where the transport does not identify the unit.
    virtual std::optional<stm32_updater::Stm32DeviceInfo> ConnectedDevice() const { return std::nullopt; }
    // Reads back what Flash wrote at address (the image with its trailer
    // flag) and compares, reporting (Verifying, percent) as it goes. Empty
    // when the unit holds it; otherwise the first difference or why it could
    // not be read. Clients that cannot read back say so.
    virtual std::string VerifyImage(std::span<const std::byte> /*image*/, std::uint32_t /*address*/,
                                    const ProgressCallback& /*progress*/)
    {
        return "this bootloader client cannot read the image back";
    }
};
