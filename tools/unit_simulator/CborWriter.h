#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Appends CBOR items to a growing buffer. Containers are written with
// definite lengths unless opened as indefinite.
class CborWriter {
public:
    CborWriter& mapBegin(std::size_t pairs);
    CborWriter& indefiniteMapBegin();
    CborWriter& listBegin(std::size_t items);
    CborWriter& containerEnd(); // closes an indefinite container
    CborWriter& unsignedInt(std::uint64_t value);
    CborWriter& signedInt(std::int64_t value);
    CborWriter& text(std::string_view value);
    CborWriter& bytes(std::span<const std::uint8_t> value);
    CborWriter& boolean(bool value);

    const std::vector<std::uint8_t>& data() const { return buffer; }

private:
    void head(std::uint8_t major, std::uint64_t argument);

    std::vector<std::uint8_t> buffer;
};
