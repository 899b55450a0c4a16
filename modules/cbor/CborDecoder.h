#pragma once

#include "CborState.h"

#include <cstdint>

// Readers for response payloads. On failure they return false, record a code
// and leave the working record at the element whose read failed.
bool cbor_get_map_begin(zcbor_state_t* state);
bool cbor_get_list_begin(zcbor_state_t* state);
bool cbor_get_container_end(zcbor_state_t* state);
bool cbor_at_container_end(const zcbor_state_t* state);
bool cbor_get_tstr(zcbor_state_t* state, zcbor_string* view);
bool cbor_get_bstr(zcbor_state_t* state, zcbor_string* view);
bool cbor_get_int32(zcbor_state_t* state, int32_t* value);
bool cbor_get_bool(zcbor_state_t* state, bool* value);
bool cbor_skip(zcbor_state_t* state);
