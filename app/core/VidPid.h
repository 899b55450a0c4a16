#pragma once

#include <cstdint>

// USB vendor and product identifiers of a unit, as listed in product_list.
struct VidPid {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;

    friend bool operator==(const VidPid&, const VidPid&) = default;
};
