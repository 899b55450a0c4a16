#include "Stm32DfuUtilCommandLine.h"

#include <gtest/gtest.h>

using namespace stm32_updater;

TEST(DfuUtilCommandLine, DownloadLocationIsUpperCaseHexWithFastLeave)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0x08000000, "0X08000000:fast:leave"},
        {0x0800C000, "0X0800C000:fast:leave"},
        {0xabcdef01, "0XABCDEF01:fast:leave"},
        {0x0, "0X00000000:fast:leave"},
        {0xFFFFFFFF, "0XFFFFFFFF:fast:leave"},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(dfuDownloadLocation(address), QString::fromLatin1(expected)) << expected;
}

TEST(DfuUtilCommandLine, UploadRangeIsLowerCaseHexAndDecimalSize)
{
    struct Case {
        std::uint32_t address;
        std::uint64_t size;
        const char* expected;
    };
    const Case cases[] = {
        {0x1FFF7800, 1024, "0x1fff7800:1024"},
        {0x1FFF7800, 0, "0x1fff7800:0"},
        {0xABCDEF01, 512, "0xabcdef01:512"},
        {0x10, 5000000000ULL, "0x00000010:5000000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dfuUploadRange(c.address, c.size), QString::fromLatin1(c.expected)) << c.expected;
}

TEST(DfuUtilCommandLine, ArgumentsComeInTheToolsOrder)
{
    EXPECT_EQ(dfuDownloadArguments(QStringLiteral("0483:df11"), 0x08000000, QStringLiteral("/fw dir/ü.bin")),
              QStringList({"-d", "0483:df11", "-a", "0", "-s", "0X08000000:fast:leave", "-D", "/fw dir/ü.bin"}));
    EXPECT_EQ(dfuUploadArguments(QStringLiteral("0483:df11"), 0x1FFF7800, 1024, QStringLiteral("/tmp/f-1/otp.bin")),
              QStringList({"-d", "0483:df11", "-a", "2", "-s", "0x1fff7800:1024", "-U", "/tmp/f-1/otp.bin"}));
}

// A unit chosen by its USB path is named right after the identifiers, for the
// download and the OTP read alike.
TEST(DfuUtilCommandLine, UsbPathSinglesOutOneUnit)
{
    EXPECT_EQ(dfuDownloadArguments(QStringLiteral("0483:df11"), 0x08000000, QStringLiteral("fw.bin"),
                                   QStringLiteral("1-2.3")),
              QStringList({"-d", "0483:df11", "-p", "1-2.3", "-a", "0", "-s", "0X08000000:fast:leave", "-D",
                           "fw.bin"}));
    EXPECT_EQ(dfuUploadArguments(QStringLiteral("0483:df11"), 0x1FFF7800, 512, QStringLiteral("otp.bin"),
                                 QStringLiteral("1-2.3")),
              QStringList({"-d", "0483:df11", "-p", "1-2.3", "-a", "2", "-s", "0x1fff7800:512", "-U", "otp.bin"}));
}
