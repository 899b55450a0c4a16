#pragma once

#include <cstdint>
#include <string>

namespace image {

// The version in an MCUboot image header.
struct McubootVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t revision = 0;
    std::uint32_t build = 0;

    // "1.2.3+4", as imgtool takes it with --version.
    std::string text() const;
};

} // namespace image
