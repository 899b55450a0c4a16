#include "SmpRequestPayload.h"

#include "Cbor.h"

#include <array>
#include <cstring>

namespace {

constexpr std::size_t kEmptyMapBuffer = 8;
constexpr std::size_t kOtpReadBuffer = 16;
constexpr std::size_t kUploadBuffer = 2048;

// A 2-record encoder over a fixed buffer; the writes chain until one fails.
template <std::size_t Size>
class MapWriter {
public:
    MapWriter() { cbor_init_state(records.data(), records.size(), buffer.data(), buffer.size(), 1); }

    MapWriter& begin() { return step(cbor_put_map_begin(records.data())); }
    MapWriter& end() { return step(cbor_put_container_end(records.data())); }
    MapWriter& key(const char* name) { return step(cbor_put_tstr(records.data(), name, std::strlen(name))); }
    MapWriter& number(uint32_t value) { return step(cbor_put_uint32(records.data(), value)); }
    MapWriter& bytes(const QByteArray& value)
    {
        return step(cbor_put_bstr(records.data(), value.constData(), static_cast<std::size_t>(value.size())));
    }

    std::optional<QByteArray> result() const
    {
        if (!ok)
            return std::nullopt;
        const auto length = records[0].cursor - buffer.data();
        return QByteArray(reinterpret_cast<const char*>(buffer.data()), length);
    }

private:
    MapWriter& step(bool written)
    {
        ok = ok && written;
        return *this;
    }

    std::array<uint8_t, Size> buffer{};
    std::array<zcbor_state_t, 2> records{};
    bool ok = true;
};

} // namespace

std::optional<QByteArray> SmpRequestPayload::emptyMap()
{
    return MapWriter<kEmptyMapBuffer>().begin().end().result();
}

std::optional<QByteArray> SmpRequestPayload::otpRead(uint32_t key)
{
    return MapWriter<kOtpReadBuffer>().begin().key("key").number(key).end().result();
}

std::optional<QByteArray> SmpRequestPayload::uploadChunk(const QByteArray& chunk, uint32_t offset, uint32_t total)
{
    MapWriter<kUploadBuffer> writer;
    writer.begin().key("data").bytes(chunk).key("off").number(offset);
    if (offset == 0)
        writer.key("len").number(total).key("image").number(0);
    return writer.end().result();
}
