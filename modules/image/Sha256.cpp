#include "Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace image {

Sha256Digest sha256(std::span<const std::uint8_t> bytes)
{
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != digest.size())
        throw std::runtime_error("SHA-256 failed in OpenSSL");
    return digest;
}

std::string toHex(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

} // namespace image
