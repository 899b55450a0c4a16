#include "ClientErrorLog.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(ClientErrorLogTest, TextsAreCutAt100CharactersAndSentAtLevel3)
{
    LogCapture log;
    const std::string longText(150, 'a');

    stm32_updater::LogClientError(longText);
    stm32_updater::LogClientError("No erase methods");

    ASSERT_EQ(log.Entries().size(), 2u);
    EXPECT_EQ(log.Entries()[0].text, std::string(100, 'a'));
    EXPECT_EQ(log.Entries()[1].text, "No erase methods");
    EXPECT_EQ(log.Entries()[1].level, 3);
}

TEST(ClientErrorLogTest, WithoutALogDispatcherNothingIsSent)
{
    std::size_t seen = 0;
    {
        LogCapture log;
        stm32_updater::LogClientError("first");
        seen = log.Entries().size();
    }
    // The capture has uninstalled itself; this must simply be dropped.
    stm32_updater::LogClientError("second");
    EXPECT_EQ(seen, 1u);
}

} // namespace
