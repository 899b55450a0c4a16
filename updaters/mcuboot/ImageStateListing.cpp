#include "ImageStateListing.h"

#include "Cbor.h"

#include <array>
#include <cstring>

namespace {

// Working record, three open containers (answer, list, entry), shared part.
constexpr std::size_t kRecords = 5;

bool isKey(const zcbor_string& found, const char* wanted)
{
    const std::size_t length = std::strlen(wanted);
    return found.len == length && std::memcmp(found.value, wanted, length) == 0;
}

struct Entry {
    std::optional<int32_t> image;
    std::optional<int32_t> slot;
    std::optional<QByteArray> hash;
};

// One map of the list; false when it cannot be read to its end.
bool readEntry(zcbor_state_t* state, Entry& entry)
{
    if (!cbor_get_map_begin(state))
        return false;
    while (!cbor_at_container_end(state)) {
        zcbor_string key{};
        if (!cbor_get_tstr(state, &key)) {
            if (!cbor_skip(state) || !cbor_skip(state))
                return false;
            continue;
        }
        int32_t number = 0;
        zcbor_string bytes{};
        if (isKey(key, "image") && cbor_get_int32(state, &number))
            entry.image = number;
        else if (isKey(key, "slot") && cbor_get_int32(state, &number))
            entry.slot = number;
        else if (isKey(key, "hash") && cbor_get_bstr(state, &bytes))
            entry.hash = QByteArray(reinterpret_cast<const char*>(bytes.value), static_cast<qsizetype>(bytes.len));
        else if (!cbor_skip(state))
            return false;
    }
    return cbor_get_container_end(state);
}

std::optional<QByteArray> slotZeroHashIn(zcbor_state_t* state)
{
    if (!cbor_get_list_begin(state))
        return std::nullopt;
    while (!cbor_at_container_end(state)) {
        Entry entry;
        if (!readEntry(state, entry))
            return std::nullopt;
        if (entry.slot == 0 && entry.image.value_or(0) == 0)
            return entry.hash;
    }
    return std::nullopt;
}

} // namespace

ImageStateListing ImageStateListing::read(const QByteArray& payload)
{
    std::array<zcbor_state_t, kRecords> records{};
    cbor_init_state(records.data(), records.size(), reinterpret_cast<const uint8_t*>(payload.constData()),
                    static_cast<std::size_t>(payload.size()), 1);
    zcbor_state_t* state = records.data();
    ImageStateListing listing;
    if (!cbor_get_map_begin(state))
        return listing;
    while (!cbor_at_container_end(state)) {
        zcbor_string key{};
        const bool textKey = cbor_get_tstr(state, &key);
        if (textKey && isKey(key, "images")) {
            listing.hasImageList = true;
            listing.slotZeroHash = slotZeroHashIn(state);
            return listing;
        }
        if (!(textKey || cbor_skip(state)) || !cbor_skip(state))
            return listing;
    }
    return listing;
}
