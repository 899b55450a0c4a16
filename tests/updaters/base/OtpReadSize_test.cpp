#include "OtpReadSize.h"
#include "QtMessageCapture.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

struct SizeCase {
    std::uint64_t configured;
    std::uint64_t read;
    bool warns;
};

class OtpReadSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(OtpReadSize, ReadsAtMostTheBytesTheModelCheckUses)
{
    QtMessageCapture log;
    EXPECT_EQ(otpReadSize(GetParam().configured), GetParam().read);
    ASSERT_EQ(log.lines().size(), GetParam().warns ? 1 : 0) << log.lines().join('\n').toStdString();
    if (GetParam().warns) {
        EXPECT_TRUE(log.lines().first().startsWith(
            QStringLiteral("warning: otp_size: \"%1\" ").arg(GetParam().configured)));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OtpReadSize,
                         ::testing::Values(SizeCase{0, 0, true}, SizeCase{1, 1, false}, SizeCase{32, 32, false},
                                           SizeCase{512, 512, false}, SizeCase{513, 512, true},
                                           SizeCase{4294967295u, 512, true},
                                           SizeCase{std::numeric_limits<std::uint64_t>::max(), 512, true}));

} // namespace
