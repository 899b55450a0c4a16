#include "CborHead.h"

#include "CborState.h"

int32_t CborHead::parse(const uint8_t* at, const uint8_t* end, std::size_t widthBytes)
{
    if (at >= end)
        return CBOR_ERR_NO_PAYLOAD;
    major = majorOf(*at);
    info = infoOf(*at);
    if (info > 27)
        return CBOR_ERR_ADDITIONAL_INVAL;
    const std::size_t extra = info <= 23 ? 0 : std::size_t{1} << (info - 24);
    if (extra > widthBytes)
        return CBOR_ERR_INT_SIZE;
    if (static_cast<std::size_t>(end - at) - 1 < extra)
        return CBOR_ERR_NO_PAYLOAD;
    argument = extra == 0 ? info : 0;
    for (std::size_t i = 1; i <= extra; ++i)
        argument = argument << 8 | at[i];
    size = 1 + extra;
    return CBOR_ERR_NONE;
}
