#include "CborState.h"

#include <new>

static_assert(sizeof(zcbor_shared_state_t) <= sizeof(zcbor_state_t),
              "the shared part lives in the storage of the last record");
static_assert(alignof(zcbor_shared_state_t) <= alignof(zcbor_state_t));

void cbor_init_state(zcbor_state_t* records, std::size_t recordCount, uint8_t* data,
                     std::size_t length, uint64_t elementCount)
{
    if (records == nullptr || recordCount == 0)
        return;
    zcbor_state_t& working = records[0];
    working.cursor = data;
    working.cursor_backup = data;
    working.remaining = elementCount;
    working.end = data + length;
    working.indefinite = false;
    working.shared = nullptr;
    if (recordCount < 2)
        return;
    working.shared = new (&records[recordCount - 1]) zcbor_shared_state_t{
        recordCount > 2 ? &records[1] : nullptr, 0, recordCount - 2, CBOR_ERR_NONE};
}

void cbor_init_state(zcbor_state_t* records, std::size_t recordCount, const uint8_t* data,
                     std::size_t length, uint64_t elementCount)
{
    // The decoders only read through the cursor.
    cbor_init_state(records, recordCount, const_cast<uint8_t*>(data), length, elementCount);
}

bool cbor_fail(zcbor_state_t* state, int32_t code)
{
    if (state->shared != nullptr)
        state->shared->error_code = code;
    return false;
}

int32_t cbor_error(const zcbor_state_t* state)
{
    return state->shared != nullptr ? state->shared->error_code : CBOR_ERR_NONE;
}
