#include "LogCapture.h"

#include "LogMessage.h"

#include <array>

LogCapture::LogCapture()
{
    static constexpr std::array<std::pair<SubsystemId, MessageId>, 1> kLog{
        {{dispatcher::kLogSubsystem, dispatcher::kLogMessage}}};
    registration_ = dispatcher_.AddListener(dispatcher_.AllocateReceiver(), kLog, *this);
    dispatcher::SetLogDispatcher(&dispatcher_);
}

LogCapture::~LogCapture() { dispatcher::SetLogDispatcher(nullptr); }

void LogCapture::OnMessage(std::span<const std::byte> message)
{
    const auto length = std::to_integer<std::size_t>(message[5]);
    std::string text;
    for (std::byte byte : message.subspan(6, length))
        text.push_back(static_cast<char>(byte));
    entries_.push_back({std::to_integer<std::uint8_t>(message[2]), std::to_integer<std::uint8_t>(message[3]),
                        std::to_integer<std::uint8_t>(message[4]), std::move(text)});
}

std::vector<std::string> LogCapture::Texts() const
{
    std::vector<std::string> texts;
    for (const Entry& entry : entries_)
        texts.push_back(entry.text);
    return texts;
}
