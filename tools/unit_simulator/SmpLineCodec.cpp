#include "SmpLineCodec.h"

#include "Base64.h"
#include "Crc16.h"

#include <algorithm>

namespace {

constexpr char kStart[] = "\x06\x09";
constexpr char kContinuation[] = "\x04\x14";
constexpr std::size_t kMaxLine = 64 * 1024; // far above any request; bounds memory on garbage
constexpr std::size_t kLengthAndHeader = 2 + SmpPacket::kHeaderSize;

void appendLine(std::vector<std::uint8_t>& wire, const char* marker, std::string_view text)
{
    wire.insert(wire.end(), marker, marker + 2);
    wire.insert(wire.end(), text.begin(), text.end());
    wire.push_back('\n');
}

} // namespace

std::uint16_t SmpLineCodec::requestCrc(std::span<const std::uint8_t> headerAndPayload)
{
    return Crc16::compute(headerAndPayload, 0xFFFF) ^ 0xFFFF;
}

std::uint16_t SmpLineCodec::responseCrc(std::span<const std::uint8_t> headerAndPayload)
{
    return Crc16::compute(headerAndPayload, 0x9655) ^ 0x1D0F;
}

std::vector<SmpLineCodec::Received> SmpLineCodec::feed(std::span<const std::uint8_t> bytes)
{
    std::vector<Received> frames;
    for (const std::uint8_t byte : bytes) {
        if (byte != '\n') {
            if (line.size() < kMaxLine)
                line.push_back(static_cast<char>(byte));
            continue;
        }
        if (auto received = takeLine(line))
            frames.push_back(std::move(*received));
        line.clear();
    }
    return frames;
}

std::optional<SmpLineCodec::Received> SmpLineCodec::takeLine(const std::string& text)
{
    const std::string_view marker = std::string_view(text).substr(0, 2);
    if (marker == kStart) {
        const bool abandoned = inFrame;
        frameText = text.substr(2);
        inFrame = true;
        if (abandoned)
            return Received{std::nullopt, "unfinished frame replaced by a new start line"};
    } else if (marker == kContinuation && inFrame) {
        frameText += text.substr(2);
    } else {
        return std::nullopt; // noise between frames is ignored
    }
    return tryComplete();
}

std::optional<SmpLineCodec::Received> SmpLineCodec::tryComplete()
{
    if (frameText.size() % 4 != 0)
        return std::nullopt; // the rest of the base64 group is on a continuation line
    auto packet = Base64::decode(frameText);
    if (!packet) {
        inFrame = false;
        return Received{std::nullopt, "invalid base64"};
    }
    if (packet->size() >= 2 && packet->size() < static_cast<std::size_t>((*packet)[0] << 8 | (*packet)[1]) + 2)
        return std::nullopt; // more continuation lines to come
    inFrame = false;
    return parsePacket(*packet);
}

SmpLineCodec::Received SmpLineCodec::parsePacket(const std::vector<std::uint8_t>& packet)
{
    if (packet.size() < kLengthAndHeader + 2)
        return {std::nullopt, "packet shorter than length, header and CRC"};
    const std::size_t length = static_cast<std::size_t>(packet[0] << 8 | packet[1]);
    if (length + 2 != packet.size())
        return {std::nullopt, "length field does not match the packet"};
    const std::size_t payloadLength = static_cast<std::size_t>(packet[4] << 8 | packet[5]);
    if (payloadLength + kLengthAndHeader + 2 != packet.size())
        return {std::nullopt, "header payload length does not match the packet"};
    const std::span<const std::uint8_t> covered(packet.data() + 2, packet.size() - 4);
    const std::uint16_t stored = static_cast<std::uint16_t>(packet[packet.size() - 2] << 8 | packet.back());
    if (stored != requestCrc(covered))
        return {std::nullopt, "bad CRC"};
    SmpPacket request;
    request.operation = packet[2];
    request.flags = packet[3];
    request.group = static_cast<std::uint16_t>(packet[6] << 8 | packet[7]);
    request.sequence = packet[8];
    request.command = packet[9];
    request.payload.assign(packet.begin() + kLengthAndHeader, packet.end() - 2);
    return {std::move(request), {}};
}

std::vector<std::uint8_t> SmpLineCodec::encodeResponse(const SmpPacket& response, const SmpResponseStyle& style)
{
    const std::vector<std::uint8_t> covered = response.headerAndPayload();
    const std::uint16_t crc = style.requestStyleCrc ? requestCrc(covered) : responseCrc(covered);
    const std::size_t length = covered.size() + 2;
    std::vector<std::uint8_t> packet{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    packet.insert(packet.end(), covered.begin(), covered.end());
    packet.push_back(static_cast<std::uint8_t>(crc >> 8));
    packet.push_back(static_cast<std::uint8_t>(crc));

    const std::string text = Base64::encode(packet);
    // Lines break on whole base64 groups so each piece stays decodable on its own.
    const std::size_t perLine = style.lineChars == 0 ? text.size() : std::max<std::size_t>(4, style.lineChars / 4 * 4);
    std::vector<std::uint8_t> wire;
    for (std::size_t start = 0; start < text.size(); start += perLine) {
        if (start > 0 && style.noiseLines) {
            appendLine(wire, "I:", " [boot] noise between continuation lines");
            appendLine(wire, "\x06\x08", "not a frame marker");
        }
        appendLine(wire, start == 0 ? kStart : kContinuation, std::string_view(text).substr(start, perLine));
    }
    return wire;
}
