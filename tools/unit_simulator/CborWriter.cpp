#include "CborWriter.h"

void CborWriter::head(std::uint8_t major, std::uint64_t argument)
{
    const std::uint8_t type = static_cast<std::uint8_t>(major << 5);
    int size = 0;
    if (argument < 24) {
        buffer.push_back(static_cast<std::uint8_t>(type | argument));
        return;
    }
    if (argument <= 0xFF) {
        buffer.push_back(type | 24);
        size = 1;
    } else if (argument <= 0xFFFF) {
        buffer.push_back(type | 25);
        size = 2;
    } else if (argument <= 0xFFFFFFFF) {
        buffer.push_back(type | 26);
        size = 4;
    } else {
        buffer.push_back(type | 27);
        size = 8;
    }
    for (int i = size - 1; i >= 0; --i)
        buffer.push_back(static_cast<std::uint8_t>(argument >> (8 * i)));
}

CborWriter& CborWriter::mapBegin(std::size_t pairs)
{
    head(5, pairs);
    return *this;
}

CborWriter& CborWriter::indefiniteMapBegin()
{
    buffer.push_back(0xBF);
    return *this;
}

CborWriter& CborWriter::listBegin(std::size_t items)
{
    head(4, items);
    return *this;
}

CborWriter& CborWriter::containerEnd()
{
    buffer.push_back(0xFF);
    return *this;
}

CborWriter& CborWriter::unsignedInt(std::uint64_t value)
{
    head(0, value);
    return *this;
}

CborWriter& CborWriter::signedInt(std::int64_t value)
{
    if (value >= 0)
        head(0, static_cast<std::uint64_t>(value));
    else
        head(1, static_cast<std::uint64_t>(-1 - value));
    return *this;
}

CborWriter& CborWriter::text(std::string_view value)
{
    head(3, value.size());
    buffer.insert(buffer.end(), value.begin(), value.end());
    return *this;
}

CborWriter& CborWriter::bytes(std::span<const std::uint8_t> value)
{
    head(2, value.size());
    buffer.insert(buffer.end(), value.begin(), value.end());
    return *this;
}

CborWriter& CborWriter::boolean(bool value)
{
    buffer.push_back(value ? 0xF5 : 0xF4);
    return *this;
}
