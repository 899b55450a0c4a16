#pragma once

#include <cstddef>
#include <cstdint>

struct zcbor_shared_state_t;

// One record of a codec instance. An instance is an array of N records: record
// 0 is the working state, records 1..N-2 save the parents of open containers,
// and the storage of record N-1 holds the part all records share.
struct zcbor_state_t {
    uint8_t* cursor;
    uint8_t* cursor_backup;
    uint64_t remaining;
    uint8_t* end;
    bool indefinite;
    zcbor_shared_state_t* shared;
};

struct zcbor_shared_state_t {
    zcbor_state_t* backups;
    uint64_t backups_used;
    uint64_t backups_capacity;
    int32_t error_code;
};

// A decoded text or byte string: a view into the payload, never a copy.
struct zcbor_string {
    const uint8_t* value;
    std::size_t len;
};

enum CborError : int32_t {
    CBOR_ERR_NONE = 0,
    CBOR_ERR_NO_BACKUP_MEM = 1,
    CBOR_ERR_NO_BACKUP_ACTIVE = 2,
    CBOR_ERR_LOW_ELEM_COUNT = 3,
    CBOR_ERR_HIGH_ELEM_COUNT = 4,
    CBOR_ERR_INT_SIZE = 5,
    CBOR_ERR_ADDITIONAL_INVAL = 7,
    CBOR_ERR_NO_PAYLOAD = 8,
    CBOR_ERR_WRONG_TYPE = 10,
};

// Element count that stands for "until the 0xFF break byte".
inline constexpr uint64_t CBOR_INDEFINITE_COUNT = UINT64_MAX - 15;

// Prepares `recordCount` records over `length` bytes at `data`, expecting
// `elementCount` top-level elements. Encoders write into `data`.
void cbor_init_state(zcbor_state_t* records, std::size_t recordCount, uint8_t* data,
                     std::size_t length, uint64_t elementCount);

// Decoders never write, so read-only payloads are accepted as well.
void cbor_init_state(zcbor_state_t* records, std::size_t recordCount, const uint8_t* data,
                     std::size_t length, uint64_t elementCount);

// Records `code` in the shared part (when there is one) and returns false.
bool cbor_fail(zcbor_state_t* state, int32_t code);

// The last failure code, 0 when none was recorded or the instance has no shared part.
int32_t cbor_error(const zcbor_state_t* state);
