#include "CborReader.h"

namespace {
constexpr int kMaxDepth = 16;
constexpr std::uint8_t kIndefinite = 31;
constexpr std::uint8_t kBreak = 0xFF;
} // namespace

std::optional<CborValue> CborReader::decode(std::span<const std::uint8_t> data)
{
    CborReader reader(data);
    auto value = reader.readItem(0);
    if (!value || reader.position != data.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> CborReader::readArgument(std::uint8_t info)
{
    if (info < 24)
        return info;
    if (info > 27)
        return std::nullopt;
    const std::size_t size = std::size_t{1} << (info - 24);
    if (data.size() - position < size)
        return std::nullopt;
    std::uint64_t argument = 0;
    for (std::size_t i = 0; i < size; ++i)
        argument = (argument << 8) | data[position++];
    return argument;
}

bool CborReader::atBreak() const
{
    return position < data.size() && data[position] == kBreak;
}

std::optional<CborValue> CborReader::readItem(int depth)
{
    if (depth > kMaxDepth || position >= data.size())
        return std::nullopt;
    const std::uint8_t initial = data[position++];
    const std::uint8_t major = initial >> 5;
    const std::uint8_t info = initial & 0x1F;
    if (major == 6) { // tag: keep the tagged item
        if (!readArgument(info))
            return std::nullopt;
        return readItem(depth + 1);
    }
    std::optional<std::uint64_t> argument;
    if (info != kIndefinite || (major != 4 && major != 5)) {
        argument = readArgument(info);
        if (!argument)
            return std::nullopt;
    }
    CborValue value;
    switch (major) {
    case 0:
    case 1:
        value.kind = major == 0 ? CborValue::Kind::Unsigned : CborValue::Kind::Negative;
        value.number = *argument;
        return value;
    case 2:
    case 3:
        value.kind = major == 2 ? CborValue::Kind::Bytes : CborValue::Kind::Text;
        return readString(value, *argument) ? std::optional(std::move(value)) : std::nullopt;
    case 4:
        return readList(value, argument, depth) ? std::optional(std::move(value)) : std::nullopt;
    case 5:
        return readMap(value, argument, depth) ? std::optional(std::move(value)) : std::nullopt;
    default:
        value.kind = CborValue::Kind::Simple;
        value.number = *argument;
        return value;
    }
}

bool CborReader::readString(CborValue& value, std::uint64_t length)
{
    if (data.size() - position < length)
        return false;
    value.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(position),
                       data.begin() + static_cast<std::ptrdiff_t>(position + length));
    position += length;
    return true;
}

bool CborReader::readList(CborValue& value, std::optional<std::uint64_t> count, int depth)
{
    value.kind = CborValue::Kind::List;
    for (std::uint64_t i = 0; count ? i < *count : !atBreak(); ++i) {
        auto item = readItem(depth + 1);
        if (!item)
            return false;
        value.items.push_back(std::move(*item));
    }
    return count || data.size() > position++;
}

bool CborReader::readMap(CborValue& value, std::optional<std::uint64_t> count, int depth)
{
    value.kind = CborValue::Kind::Map;
    for (std::uint64_t i = 0; count ? i < *count : !atBreak(); ++i) {
        auto key = readItem(depth + 1);
        if (!key)
            return false;
        auto item = readItem(depth + 1);
        if (!item)
            return false;
        value.entries.emplace_back(std::move(*key), std::move(*item));
    }
    return count || data.size() > position++;
}
