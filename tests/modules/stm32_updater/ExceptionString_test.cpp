#include "ExceptionString.h"

#include <gtest/gtest.h>

#include <string>

using lumavex::ExceptionString;

namespace {

TEST(ExceptionStringTest, TextIsBaseNameLineAndFormattedMessage)
{
    const auto line = std::source_location::current().line() + 1;
    const ExceptionString error("receive timeout for {} bytes, command {}", 3, "Get Ver Rops");

    EXPECT_EQ(std::string(error.what()),
              "ExceptionString_test.cpp:" + std::to_string(line) + " receive timeout for 3 bytes, command Get Ver Rops");
}

TEST(ExceptionStringTest, LongTextIsCutAt256CharactersAndCopiesKeepIt)
{
    const std::string message(400, 'x');
    const ExceptionString error(message, std::source_location::current());
    const ExceptionString copy = error;

    EXPECT_EQ(std::string(copy.what()).size(), ExceptionString::kCapacity);
    EXPECT_EQ(copy.Text(), error.Text());
    EXPECT_TRUE(copy.Text().starts_with("ExceptionString_test.cpp:"));
}

TEST(ExceptionStringTest, HexPlaceholdersFormatAsTheClientUsesThem)
{
    const ExceptionString error("product ID not supported: 0x{:04x}", std::uint16_t{0x410});
    EXPECT_TRUE(error.Text().ends_with(" product ID not supported: 0x0410")) << error.what();
}

} // namespace
