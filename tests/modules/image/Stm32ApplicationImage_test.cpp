#include "ImageBytes.h"
#include "Stm32ApplicationImage.h"
#include "Stm32ImageBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using image::Stm32ApplicationImage;

constexpr quint32 kAddress = 0x08000000;
constexpr quint32 kFlashEnd = 0x0807FFFF;

std::string reasonFor(const QByteArray& file, quint32 address = kAddress, quint32 flashEnd = kFlashEnd)
{
    std::string reason;
    const auto image = Stm32ApplicationImage::read(bytesOf(file), address, flashEnd, reason);
    EXPECT_EQ(image.has_value(), reason.empty());
    return reason;
}

TEST(Stm32ApplicationImageTest, ApplicationsForTheirAddressAreAccepted)
{
    struct Case {
        const char* name;
        QByteArray file;
        quint32 address;
    };
    for (const auto& [name, file, address] : {
             Case{"small application", Stm32ImageBuilder().build(), kAddress},
             Case{"behind a boot loader", Stm32ImageBuilder(0x08004000).build(), 0x08004000},
             Case{"up to the last flash byte", Stm32ImageBuilder().size(0x80000).build(), kAddress},
             Case{"stack at the SRAM start", Stm32ImageBuilder().stackPointer(0x20000000).build(), kAddress},
             Case{"stack at the top of RAM", Stm32ImageBuilder().stackPointer(0x40000000).build(), kAddress},
             Case{"reset handler in the last byte", Stm32ImageBuilder().resetHandler(0x08000FFF).build(), kAddress},
             Case{"vector table alone", Stm32ImageBuilder().size(8).resetHandler(0x08000005).build(), kAddress},
         }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reasonFor(file, address), "");
    }
}

TEST(Stm32ApplicationImageTest, FilesThatCannotStartAtTheirAddressAreRefusedWithTheReason)
{
    struct Case {
        const char* name;
        QByteArray file;
        quint32 address;
        std::string reason;
    };
    for (const auto& [name, file, address, reason] : {
             Case{"shorter than a vector table", Stm32ImageBuilder().build().left(7), kAddress,
                  "7 bytes are too few for a vector table of 8"},
             Case{"one word past the flash end", Stm32ImageBuilder().size(0x80004).build(), kAddress,
                  "524292 bytes at 0x08000000 end at 0x08080003, past the flash end 0x0807ffff"},
             Case{"padding past the flash end", Stm32ImageBuilder(0x0807FFF8).size(9).build(), 0x0807FFF8,
                  "12 bytes at 0x0807fff8 end at 0x08080003, past the flash end 0x0807ffff"},
             Case{"written for a later address", Stm32ImageBuilder(0x08004000).build(), kAddress,
                  "reset handler 0x080041c1 points outside the image (0x08000000 to 0x08000fff)"},
             Case{"stack pointer in flash", Stm32ImageBuilder().stackPointer(0x08001000).build(), kAddress,
                  "initial stack pointer 0x08001000 is outside SRAM (0x20000000 to 0x40000000)"},
             Case{"stack pointer below SRAM", Stm32ImageBuilder().stackPointer(0x1FFFFFFC).build(), kAddress,
                  "initial stack pointer 0x1ffffffc is outside SRAM (0x20000000 to 0x40000000)"},
             Case{"stack pointer above SRAM", Stm32ImageBuilder().stackPointer(0x40000004).build(), kAddress,
                  "initial stack pointer 0x40000004 is outside SRAM (0x20000000 to 0x40000000)"},
             Case{"stack pointer not word-aligned", Stm32ImageBuilder().stackPointer(0x20017FFE).build(), kAddress,
                  "initial stack pointer 0x20017ffe is not a multiple of 4"},
             Case{"even reset handler", Stm32ImageBuilder().resetHandler(0x080001C0).build(), kAddress,
                  "reset handler 0x080001c0 is even, not a Thumb address"},
             Case{"reset handler before the image", Stm32ImageBuilder().resetHandler(0x07FFFFFF).build(), kAddress,
                  "reset handler 0x07ffffff points outside the image (0x08000000 to 0x08000fff)"},
             Case{"reset handler after the image", Stm32ImageBuilder().resetHandler(0x08001001).build(), kAddress,
                  "reset handler 0x08001001 points outside the image (0x08000000 to 0x08000fff)"},
         }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reasonFor(file, address), reason);
    }
}

TEST(Stm32ApplicationImageTest, ReadingGivesTheVectorTableAndTheLastAddress)
{
    const QByteArray file = Stm32ImageBuilder(0x08004000).size(4094).stackPointer(0x20008000).build();
    std::string reason;
    const auto image = Stm32ApplicationImage::read(bytesOf(file), 0x08004000, kFlashEnd, reason);
    ASSERT_TRUE(image) << reason;
    EXPECT_EQ(image->initialStackPointer, 0x20008000u);
    EXPECT_EQ(image->resetHandler, 0x080041C1u);
    EXPECT_EQ(image->fileSize, 4094u);
    EXPECT_EQ(image->lastAddress, 0x08004FFFu); // padded to 4096
    EXPECT_EQ(image->flashEnd, kFlashEnd);
}

TEST(Stm32ApplicationImageTest, TheFitCountsTheWordPaddingOfTheUartBackEnd)
{
    struct Case {
        std::size_t fileSize;
        std::size_t padded;
        bool fits;
    };
    for (const auto& [fileSize, padded, fits] : {
             Case{0x7FFFC, 0x7FFFC, true},
             Case{0x7FFFD, 0x80000, true},
             Case{0x80000, 0x80000, true},
             Case{0x80001, 0x80004, false},
         }) {
        SCOPED_TRACE(fileSize);
        EXPECT_EQ(Stm32ApplicationImage::paddedSize(fileSize), padded);
        EXPECT_EQ(Stm32ApplicationImage::fitProblem(fileSize, kAddress, kFlashEnd).empty(), fits);
    }
    // Near the top of the address space the sum must not wrap round.
    EXPECT_FALSE(Stm32ApplicationImage::fitProblem(0x100, 0xFFFFFF00, 0xFFFFFFFF).size() > 0);
    EXPECT_TRUE(Stm32ApplicationImage::fitProblem(0x104, 0xFFFFFF00, 0xFFFFFFFF).size() > 0);
}

} // namespace
