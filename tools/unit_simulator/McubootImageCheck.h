#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// MCUboot's validation of an image in a slot: the header's magic and sizes,
// then the SHA-256 over header, body and protected TLVs against the hash in
// the TLV area (type 0x10). The hash when the image passes, nothing otherwise.
std::optional<std::vector<std::uint8_t>> validatedImageHash(const std::vector<std::uint8_t>& image);
