#include "Dispatcher.h"
#include "LogMessage.h"
#include "RecordingListener.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

// Installs a dispatcher with one listener on the log message for the test.
class LogMessageTest : public ::testing::Test {
protected:
    LogMessageTest()
    {
        static constexpr std::array<std::pair<SubsystemId, MessageId>, 1> kLog{
            {{dispatcher::kLogSubsystem, dispatcher::kLogMessage}}};
        handle_ = hub_.AddListener(Receiver{1}, kLog, listener_);
        dispatcher::SetLogDispatcher(&hub_);
    }
    ~LogMessageTest() override { dispatcher::SetLogDispatcher(nullptr); }

    static std::string TextOf(const std::vector<std::byte>& message)
    {
        std::string text;
        for (std::size_t i = 6; i < message.size(); ++i)
            text.push_back(static_cast<char>(message[i]));
        return text;
    }

    dispatcher::Dispatcher hub_{{}, 1};
    RecordingListener listener_;
    DispatcherHandle handle_;
};

TEST_F(LogMessageTest, MessageCarriesHeaderLevelLengthAndText)
{
    dispatcher::LogMessage(4, std::string_view("hello"));

    ASSERT_EQ(listener_.messages.size(), 1u);
    const auto& message = listener_.messages.front();
    ASSERT_EQ(message.size(), 11u);
    EXPECT_EQ(std::vector<std::byte>(message.begin(), message.begin() + 6),
              (std::vector<std::byte>{std::byte{0}, std::byte{7}, std::byte{0}, std::byte{0xEE}, std::byte{4},
                                      std::byte{5}}));
    EXPECT_EQ(TextOf(message), "hello");
}

struct SizeRow {
    std::size_t textLength;
    std::size_t messageSize;
    std::uint8_t level;
    bool overflow;
};

class LogMessageSizeTest : public LogMessageTest, public ::testing::WithParamInterface<SizeRow> {};

TEST_P(LogMessageSizeTest, TextsThatDoNotFitBecomeTheOverflowNotice)
{
    const std::string text(GetParam().textLength, 'q');
    dispatcher::LogMessage(2, text);

    ASSERT_EQ(listener_.messages.size(), 1u);
    const auto& message = listener_.messages.front();
    EXPECT_EQ(message.size(), GetParam().messageSize);
    EXPECT_EQ(std::to_integer<int>(message[4]), GetParam().level);
    EXPECT_EQ(TextOf(message),
              GetParam().overflow ? "Message size overflow, message subsystem/ID 0:7 (LogMessage)" : text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LogMessageSizeTest,
                         ::testing::Values(SizeRow{0, 6, 2, false}, SizeRow{249, 255, 2, false},
                                           SizeRow{250, 6 + 60, 3, true}, SizeRow{1000, 6 + 60, 3, true}));

TEST_F(LogMessageTest, NothingIsSentWithoutALogDispatcher)
{
    dispatcher::SetLogDispatcher(nullptr);
    dispatcher::LogMessage(3, std::string_view("dropped"));
    EXPECT_TRUE(listener_.messages.empty());
}

} // namespace
