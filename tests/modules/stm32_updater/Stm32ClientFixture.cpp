#include "Stm32ClientFixture.h"

#include <algorithm>

Stm32ClientFixture::~Stm32ClientFixture()
{
    // No byte may reach the client once it is gone.
    uart_.Stop();
}

stm32_updater::Stm32UartUpdater& Stm32ClientFixture::Client(bool trailerFlag, bool globalErase)
{
    if (!client_) {
        auto record = [this](const char* name) {
            return [this, name](bool level) { events_.push_back(std::string(name) + (level ? "+" : "-")); };
        };
        client_ = std::make_unique<stm32_updater::Stm32UartUpdater>(
            record("reset"), record("boot"), &uart_, &dispatcher_, &writeLock_, trailerFlag, globalErase,
            [this] { events_.push_back("pre"); }, [this] { events_.push_back("post"); }, kUartMode);
    }
    return *client_;
}

void Stm32ClientFixture::Connect(const Bytes& commands)
{
    script::Connect(uart_, commands);
    ASSERT_TRUE(Client().ConnectDevice());
    connectFrames_ = uart_.Frames().size();
    events_.clear();
}

std::vector<Bytes> Stm32ClientFixture::FramesAfterConnect() const
{
    const auto frames = uart_.Frames();
    return {frames.begin() + static_cast<std::ptrdiff_t>(std::min(connectFrames_, frames.size())), frames.end()};
}

bool Stm32ClientFixture::LogContains(const std::string& message) const
{
    const auto texts = log_.Texts();
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return text.size() >= message.size() && text.compare(text.size() - message.size(), message.size(), message) == 0;
    });
}

Bytes AddressFrame(std::uint32_t address)
{
    return WithChecksum({std::byte(address >> 24), std::byte(address >> 16), std::byte(address >> 8), std::byte(address)});
}

Bytes WithChecksum(Bytes frame)
{
    std::byte sum{0};
    for (std::byte byte : frame)
        sum ^= byte;
    frame.push_back(sum);
    return frame;
}
