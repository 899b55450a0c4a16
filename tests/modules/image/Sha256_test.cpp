#include "Sha256.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256Test, DigestsOfTheStandardTestMessages)
{
    struct Case {
        std::string_view message;
        std::string_view digest;
    };
    for (const auto& [message, digest] : {
             Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
             Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
             Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
         }) {
        SCOPED_TRACE(message);
        EXPECT_EQ(image::toHex(image::sha256(bytesOf(message))), digest);
    }
}

} // namespace
