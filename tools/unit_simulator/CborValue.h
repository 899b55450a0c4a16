#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One decoded CBOR data item, with its nested items for lists and maps.
struct CborValue {
    enum class Kind { Unsigned, Negative, Bytes, Text, List, Map, Simple };

    Kind kind = Kind::Simple;
    // Unsigned: the value; Negative: the encoded argument (value is -1 - number);
    // Simple: the simple value (20 false, 21 true, 22 null).
    std::uint64_t number = 0;
    std::vector<std::uint8_t> bytes; // byte and text strings
    std::vector<CborValue> items;    // list items
    std::vector<std::pair<CborValue, CborValue>> entries; // map entries in wire order

    // The value of the first map entry whose key is this text string.
    const CborValue* find(std::string_view key) const;
    std::optional<std::uint64_t> asUnsigned() const;
    std::string text() const;
    // A short human-readable description ("off=1483", "data(3 bytes)").
    std::string describe() const;
};
