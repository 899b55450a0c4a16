#include "Base64.h"

#include <algorithm>

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c)
{
    const auto position = kAlphabet.find(c);
    return position == std::string_view::npos ? -1 : static_cast<int>(position);
}

} // namespace

std::string Base64::encode(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (count > 1)
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (count > 2)
            group |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> Base64::decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int value = k >= 4 - padding ? 0 : sextet(text[i + k]);
            if (value < 0)
                return std::nullopt;
            group = (group << 6) | static_cast<std::uint32_t>(value);
        }
        for (std::size_t k = 0; k < 3 - padding; ++k)
            bytes.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * k)));
    }
    return bytes;
}
