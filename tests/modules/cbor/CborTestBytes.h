#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "bf 64 ..." to bytes.
inline Bytes hex(const std::string& text)
{
    Bytes bytes;
    std::string digits;
    for (const char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string toHex(const uint8_t* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0)
            text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0xF];
    }
    return text;
}

// A copy in a heap block of exactly its size, so AddressSanitizer sees any
// read past the end.
class ExactBytes {
public:
    explicit ExactBytes(const Bytes& bytes, std::size_t length)
        : storage(new uint8_t[length > 0 ? length : 1]), size(length)
    {
        if (length > 0)
            std::memcpy(storage.get(), bytes.data(), length);
    }
    explicit ExactBytes(const Bytes& bytes) : ExactBytes(bytes, bytes.size()) {}

    const uint8_t* data() const { return storage.get(); }
    std::size_t length() const { return size; }

private:
    std::unique_ptr<uint8_t[]> storage;
    std::size_t size;
};
