#pragma once

#include "CborState.h"

#include <cstddef>
#include <cstdint>

// Writers for the request maps. Each checks that the whole item fits before
// `end` and otherwise fails with CBOR_ERR_NO_PAYLOAD, writing nothing.
bool cbor_put_map_begin(zcbor_state_t* state);
bool cbor_put_container_end(zcbor_state_t* state);
bool cbor_put_uint32(zcbor_state_t* state, uint32_t value);
bool cbor_put_tstr(zcbor_state_t* state, const void* data, std::size_t length);
bool cbor_put_bstr(zcbor_state_t* state, const void* data, std::size_t length);
