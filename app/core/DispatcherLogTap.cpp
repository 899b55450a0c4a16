#include "DispatcherLogTap.h"

#include "LogMessage.h"
#include "SessionLog.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Subsystem, message, destination, source, level, text length, then the text.
constexpr std::size_t kLevelByte = 4;
constexpr std::size_t kLengthByte = 5;
constexpr std::size_t kHeaderSize = 6;

} // namespace

DispatcherLogTap::DispatcherLogTap(SessionLog& sessionLog) : log(sessionLog)
{
    static constexpr std::array<std::pair<SubsystemId, MessageId>, 1> kLog{
        {{dispatcher::kLogSubsystem, dispatcher::kLogMessage}}};
    handle = hub.AddListener(Receiver{1}, kLog, *this);
    dispatcher::SetLogDispatcher(&hub);
}

DispatcherLogTap::~DispatcherLogTap()
{
    dispatcher::SetLogDispatcher(nullptr);
    handle.reset();
}

void DispatcherLogTap::OnMessage(std::span<const std::byte> message)
{
    if (message.size() < kHeaderSize)
        return;
    const auto level = static_cast<unsigned>(message[kLevelByte]);
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(message[kLengthByte]),
                                                     message.size() - kHeaderSize);
    const QByteArray text(reinterpret_cast<const char*>(message.data() + kHeaderSize), static_cast<qsizetype>(length));
    log.write(QStringLiteral("dispatcher-%1").arg(level), QString::fromUtf8(text));
}
