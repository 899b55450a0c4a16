// Lookups of top-level keys in a response map.
#include "McubootSerialUpdater.h"

#include "Cbor.h"

#include <array>
#include <cstring>

namespace {

// One container level can be entered; deeper values are only skipped.
constexpr std::size_t kLookupRecords = 3;

bool keyEquals(const zcbor_string& found, const char* wanted)
{
    const std::size_t length = std::strlen(wanted);
    return found.len == length && std::memcmp(found.value, wanted, length) == 0;
}

// Passes over an entry whose key is not a text string.
bool skipEntry(zcbor_state_t* state)
{
    return cbor_skip(state) && cbor_skip(state);
}

} // namespace

template <typename T>
std::optional<T> McubootSerialUpdater::cborDecodeMap(const QByteArray& payload, const char* key,
                                                     const std::function<std::optional<T>(zcbor_state_t*)>& decodeValue)
{
    std::array<zcbor_state_t, kLookupRecords> records{};
    cbor_init_state(records.data(), records.size(), reinterpret_cast<const uint8_t*>(payload.constData()),
                    static_cast<std::size_t>(payload.size()), 1);
    zcbor_state_t* state = records.data();
    if (!cbor_get_map_begin(state))
        return std::nullopt;
    // The map's end is never read, so a map cut short still yields the keys before the damage.
    while (!cbor_at_container_end(state)) {
        zcbor_string found{};
        if (!cbor_get_tstr(state, &found)) {
            if (!skipEntry(state))
                return std::nullopt;
            continue;
        }
        if (keyEquals(found, key))
            return decodeValue(state);
        if (!cbor_skip(state))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<int> McubootSerialUpdater::cborDecodeMapInt(const QByteArray& payload, const char* key)
{
    return cborDecodeMap<int>(payload, key, [](zcbor_state_t* state) -> std::optional<int> {
        int32_t value = 0;
        if (!cbor_get_int32(state, &value))
            return std::nullopt;
        return value;
    });
}

std::optional<QByteArray> McubootSerialUpdater::cborDecodeMapBstr(const QByteArray& payload, const char* key)
{
    return cborDecodeMap<QByteArray>(payload, key, [](zcbor_state_t* state) -> std::optional<QByteArray> {
        zcbor_string view{};
        if (!cbor_get_bstr(state, &view))
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(view.value), static_cast<qsizetype>(view.len));
    });
}
