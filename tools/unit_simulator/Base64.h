#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// RFC 4648 base64, standard alphabet with '=' padding.
class Base64 {
public:
    static std::string encode(std::span<const std::uint8_t> bytes);
    // Strict: any character outside the alphabet, or misplaced padding, fails.
    static std::optional<std::vector<std::uint8_t>> decode(std::string_view text);
};
