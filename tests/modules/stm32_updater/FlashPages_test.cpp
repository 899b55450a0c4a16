#include "ExceptionString.h"
#include "FlashPages.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using stm32_updater::PageSpan;

constexpr stm32_updater::Stm32DeviceInfo k2KiBPages{0x0469, 128, 0x800, 0x08000000, 0x0807FFFF};

struct PlacementCase {
    std::uint32_t address;
    std::size_t length;
    PageSpan pages;
};

TEST(FlashPagesTest, AnImageCoversThePagesFromItsFirstToItsLastByte)
{
    for (const auto& [address, length, pages] : {
             PlacementCase{0x08000000, 1, {0, 1}},
             PlacementCase{0x08000000, 0x800, {0, 1}},
             PlacementCase{0x08000000, 0x801, {0, 2}},
             PlacementCase{0x08004000, 20000, {8, 10}},
             PlacementCase{0x08004000, 0x800, {8, 1}},
             PlacementCase{0x0807F800, 8, {255, 1}},
         }) {
        SCOPED_TRACE(testing::Message() << std::hex << address << " " << length);
        EXPECT_EQ(stm32_updater::PagesForImage(k2KiBPages, address, length), pages);
    }
}

TEST(FlashPagesTest, AddressesBelowFlashOrInsideAPageAreRefused)
{
    for (const std::uint32_t address : {0x00000000u, 0x07FFF800u, 0x08000004u, 0x080047FCu}) {
        SCOPED_TRACE(address);
        EXPECT_THROW(stm32_updater::PagesForImage(k2KiBPages, address, 16), lumavex::ExceptionString);
    }
}

struct BankCase {
    std::uint16_t productId;
    PageSpan pages;
    bool refused;
};

// Every product of the table has two banks of 128 pages; only bank 1 is erased.
TEST(FlashPagesTest, PagesBeyondTheFirstBankAreRefused)
{
    for (const auto& [productId, pages, refused] : {
             BankCase{0x0469, {0, 128}, false},
             BankCase{0x0469, {127, 1}, false},
             BankCase{0x0469, {127, 2}, true},
             BankCase{0x0469, {128, 1}, true},
             BankCase{0x0479, {0, 128}, false},
             BankCase{0x0479, {100, 29}, true},
             BankCase{0x0482, {0, 128}, false},
             BankCase{0x0482, {0, 256}, true},
         }) {
        SCOPED_TRACE(testing::Message() << std::hex << productId << " " << std::dec << pages.first << "+"
                                        << pages.count);
        const auto device = stm32_updater::FindStm32Device(productId);
        ASSERT_TRUE(device.has_value());
        if (refused)
            EXPECT_THROW(stm32_updater::RefusePagesBeyondFirstBank(*device, pages), lumavex::ExceptionString);
        else
            EXPECT_NO_THROW(stm32_updater::RefusePagesBeyondFirstBank(*device, pages));
    }
}

struct SplitCase {
    PageSpan span;
    std::uint32_t limit;
    std::vector<PageSpan> runs;
};

TEST(FlashPagesTest, LongSpansAreCutIntoRunsOfAtMostTheLimitInOrder)
{
    for (const auto& [span, limit, runs] : {
             SplitCase{{0, 255}, 255, {{0, 255}}},
             SplitCase{{0, 256}, 255, {{0, 255}, {255, 1}}},
             SplitCase{{8, 600}, 255, {{8, 255}, {263, 255}, {518, 90}}},
             SplitCase{{0, 0xFFF0}, 0xFFF0, {{0, 0xFFF0}}},
             SplitCase{{0, 0x10000}, 0xFFF0, {{0, 0xFFF0}, {0xFFF0, 0x10}}},
             SplitCase{{3, 0}, 255, {}},
         }) {
        SCOPED_TRACE(testing::Message() << span.first << "+" << span.count << " by " << limit);
        EXPECT_EQ(stm32_updater::SplitPages(span, limit), runs);
    }
}

} // namespace
