#pragma once

#include "CborValue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Decodes one CBOR data item (RFC 8949 subset: integers, strings, lists,
// maps of definite and indefinite length, simple values; tags are skipped).
class CborReader {
public:
    // Fails on malformed or truncated data, on nesting deeper than a sane
    // limit and on bytes left over after the item.
    static std::optional<CborValue> decode(std::span<const std::uint8_t> data);

private:
    explicit CborReader(std::span<const std::uint8_t> data) : data(data) {}

    std::optional<CborValue> readItem(int depth);
    std::optional<std::uint64_t> readArgument(std::uint8_t info);
    bool readString(CborValue& value, std::uint64_t length);
    bool readList(CborValue& value, std::optional<std::uint64_t> count, int depth);
    bool readMap(CborValue& value, std::optional<std::uint64_t> count, int depth);
    bool atBreak() const;

    std::span<const std::uint8_t> data;
    std::size_t position = 0;
};
