#include "CborValue.h"

#include <fmt/format.h>

const CborValue* CborValue::find(std::string_view key) const
{
    for (const auto& [name, value] : entries) {
        if (name.kind == Kind::Text && name.text() == key)
            return &value;
    }
    return nullptr;
}

std::optional<std::uint64_t> CborValue::asUnsigned() const
{
    if (kind != Kind::Unsigned)
        return std::nullopt;
    return number;
}

std::string CborValue::text() const
{
    return std::string(bytes.begin(), bytes.end());
}

std::string CborValue::describe() const
{
    switch (kind) {
    case Kind::Unsigned:
        return number > 0xFFFF ? fmt::format("{:#x}", number) : fmt::format("{}", number);
    case Kind::Negative:
        return fmt::format("-{}", number + 1);
    case Kind::Bytes:
        return fmt::format("bytes({})", bytes.size());
    case Kind::Text:
        return fmt::format("\"{}\"", text());
    case Kind::List:
        return fmt::format("list({})", items.size());
    case Kind::Map:
        return fmt::format("map({})", entries.size());
    case Kind::Simple:
        break;
    }
    return number == 20 ? "false" : number == 21 ? "true" : fmt::format("simple({})", number);
}
