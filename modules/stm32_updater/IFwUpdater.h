#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

// Base of the bootloader clients: flashing an image with progress reports.
class IFwUpdater {
public:
    enum class State : std::int32_t {
        Idle = 0,
        Writing = 1,
        Verifying = 2,
    };
    using ProgressCallback = std::function<void(State, unsigned)>;

    static constexpr std::uint32_t kDefaultFlashBase = 0x08000000;

    virtual ~IFwUpdater() = default;

    // Erases what the image needs and writes it at the address; false on any failure.
    virtual bool Flash(std::span<const std::byte> image, const ProgressCallback& progress,
                       std::uint32_t address) noexcept = 0;
    // The same at the default flash base.
    virtual bool Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept = 0;
    // The flag the client writes into the image trailer.
    virtual bool GetTrailerFlag() const = 0;
};
