#include "CborDecoder.h"

#include "CborHead.h"

namespace {

constexpr uint8_t kMajorUnsigned = 0;
constexpr uint8_t kMajorBytes = 2;
constexpr uint8_t kMajorText = 3;
constexpr uint8_t kMajorList = 4;
constexpr uint8_t kMajorMap = 5;
constexpr uint8_t kMajorTag = 6;
constexpr uint8_t kMajorSimple = 7;
constexpr uint8_t kBreak = 0xFF;
constexpr uint8_t kFalse = 20;
constexpr uint8_t kTrue = 21;

// Nested containers inside a skipped item are followed only this deep, so a
// payload of nested list heads cannot exhaust the stack.
constexpr unsigned kMaxSkipDepth = 64;

bool atEnd(const zcbor_state_t* state)
{
    return state->cursor >= state->end;
}

std::size_t bytesLeft(const zcbor_state_t* state)
{
    return static_cast<std::size_t>(state->end - state->cursor);
}

bool readHead(zcbor_state_t* state, std::size_t widthBytes, CborHead& head)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    if (state->remaining == 0)
        return cbor_fail(state, CBOR_ERR_LOW_ELEM_COUNT);
    if (const int32_t code = head.parse(state->cursor, state->end, widthBytes))
        return cbor_fail(state, code);
    state->cursor_backup = state->cursor;
    state->remaining--;
    state->cursor += head.size;
    return true;
}

void undoRead(zcbor_state_t* state)
{
    state->cursor = state->cursor_backup;
    state->remaining++;
}

bool undoAndFail(zcbor_state_t* state, int32_t code)
{
    undoRead(state);
    return cbor_fail(state, code);
}

bool enterContainer(zcbor_state_t* state, uint8_t major)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    if (CborHead::majorOf(*state->cursor) != major)
        return cbor_fail(state, CBOR_ERR_WRONG_TYPE);
    const bool indefinite = CborHead::infoOf(*state->cursor) == CborHead::kIndefinite;
    uint64_t count = CBOR_INDEFINITE_COUNT;
    if (indefinite) {
        if (state->remaining == 0)
            return cbor_fail(state, CBOR_ERR_LOW_ELEM_COUNT);
        state->cursor_backup = state->cursor++;
        state->remaining--;
    } else {
        CborHead head;
        if (!readHead(state, 8, head))
            return false;
        count = head.argument;
    }
    zcbor_shared_state_t* shared = state->shared;
    if (shared == nullptr || shared->backups_used >= shared->backups_capacity)
        return undoAndFail(state, CBOR_ERR_NO_BACKUP_MEM);
    if (major == kMajorMap && !indefinite) {
        if (count >= 0x7FFFFFFFFFFFFFFFull)
            return undoAndFail(state, CBOR_ERR_INT_SIZE);
        count *= 2;
    }
    shared->backups[shared->backups_used++] = *state;
    state->remaining = count;
    state->indefinite = indefinite;
    return true;
}

bool getString(zcbor_state_t* state, uint8_t major, zcbor_string* view)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    if (CborHead::majorOf(*state->cursor) != major)
        return cbor_fail(state, CBOR_ERR_WRONG_TYPE);
    CborHead head;
    if (!readHead(state, 8, head))
        return false;
    if (bytesLeft(state) < head.argument)
        return undoAndFail(state, CBOR_ERR_NO_PAYLOAD);
    *view = {state->cursor, static_cast<std::size_t>(head.argument)};
    state->cursor += head.argument;
    return true;
}

int32_t skipItem(const uint8_t*& at, const uint8_t* end, unsigned depth);

int32_t skipContainerItems(const uint8_t*& at, const uint8_t* end, uint64_t count, unsigned depth)
{
    for (uint64_t i = 0; i < count; ++i) {
        if (const int32_t code = skipItem(at, end, depth + 1))
            return code;
    }
    return CBOR_ERR_NONE;
}

int32_t skipUntilBreak(const uint8_t*& at, const uint8_t* end, unsigned depth)
{
    while (at < end && *at != kBreak) {
        if (const int32_t code = skipItem(at, end, depth + 1))
            return code;
    }
    if (at >= end)
        return CBOR_ERR_NO_PAYLOAD;
    ++at;
    return CBOR_ERR_NONE;
}

// Passes over one complete item at `at`; on failure `at` may point anywhere in it.
int32_t skipItem(const uint8_t*& at, const uint8_t* end, unsigned depth)
{
    if (depth > kMaxSkipDepth)
        return CBOR_ERR_NO_BACKUP_MEM;
    CborHead head;
    while (at < end && CborHead::majorOf(*at) == kMajorTag) {
        if (const int32_t code = head.parse(at, end, 4))
            return code;
        at += head.size;
    }
    if (at >= end)
        return CBOR_ERR_NO_PAYLOAD;
    const uint8_t major = CborHead::majorOf(*at);
    if (CborHead::infoOf(*at) == CborHead::kIndefinite && (major == kMajorList || major == kMajorMap)) {
        ++at;
        return skipUntilBreak(at, end, depth);
    }
    if (const int32_t code = head.parse(at, end, 8))
        return code;
    at += head.size;
    switch (major) {
    case kMajorBytes:
    case kMajorText:
        if (static_cast<std::size_t>(end - at) < head.argument)
            return CBOR_ERR_NO_PAYLOAD;
        at += head.argument;
        return CBOR_ERR_NONE;
    case kMajorMap:
        if (head.argument >= (uint64_t{1} << 63))
            return CBOR_ERR_INT_SIZE;
        return skipContainerItems(at, end, head.argument * 2, depth);
    case kMajorList:
        return skipContainerItems(at, end, head.argument, depth);
    default:
        return CBOR_ERR_NONE;
    }
}

} // namespace

bool cbor_get_map_begin(zcbor_state_t* state)
{
    return enterContainer(state, kMajorMap);
}

bool cbor_get_list_begin(zcbor_state_t* state)
{
    return enterContainer(state, kMajorList);
}

bool cbor_get_container_end(zcbor_state_t* state)
{
    if (state->indefinite) {
        if (atEnd(state))
            return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
        if (*state->cursor != kBreak)
            return cbor_fail(state, CBOR_ERR_WRONG_TYPE);
    }
    zcbor_shared_state_t* shared = state->shared;
    if (shared == nullptr || shared->backups_used == 0)
        return cbor_fail(state, CBOR_ERR_NO_BACKUP_ACTIVE);
    if (!state->indefinite && state->remaining != 0)
        return cbor_fail(state, CBOR_ERR_HIGH_ELEM_COUNT);
    uint8_t* const cursor = state->indefinite ? state->cursor + 1 : state->cursor;
    *state = shared->backups[--shared->backups_used];
    state->cursor = cursor;
    return true;
}

bool cbor_at_container_end(const zcbor_state_t* state)
{
    if (!state->indefinite)
        return state->remaining == 0;
    return !atEnd(state) && *state->cursor == kBreak;
}

bool cbor_get_tstr(zcbor_state_t* state, zcbor_string* view)
{
    return getString(state, kMajorText, view);
}

bool cbor_get_bstr(zcbor_state_t* state, zcbor_string* view)
{
    return getString(state, kMajorBytes, view);
}

bool cbor_get_int32(zcbor_state_t* state, int32_t* value)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    if (*state->cursor >= 0x40)
        return cbor_fail(state, CBOR_ERR_WRONG_TYPE);
    CborHead head;
    if (!readHead(state, 4, head))
        return false;
    if (head.argument > 0x7FFFFFFF)
        return undoAndFail(state, CBOR_ERR_INT_SIZE);
    const auto magnitude = static_cast<int32_t>(head.argument);
    *value = head.major == kMajorUnsigned ? magnitude : -1 - magnitude;
    return true;
}

bool cbor_get_bool(zcbor_state_t* state, bool* value)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    const uint8_t initial = *state->cursor;
    if (CborHead::majorOf(initial) != kMajorSimple || CborHead::infoOf(initial) > 24)
        return cbor_fail(state, CBOR_ERR_WRONG_TYPE);
    CborHead head;
    if (!readHead(state, 1, head))
        return false;
    if (head.argument != kFalse && head.argument != kTrue)
        return undoAndFail(state, CBOR_ERR_WRONG_TYPE);
    *value = head.argument == kTrue;
    return true;
}

bool cbor_skip(zcbor_state_t* state)
{
    if (atEnd(state))
        return cbor_fail(state, CBOR_ERR_NO_PAYLOAD);
    if (state->remaining == 0)
        return cbor_fail(state, CBOR_ERR_LOW_ELEM_COUNT);
    const uint8_t* at = state->cursor;
    if (const int32_t code = skipItem(at, state->end, 0))
        return cbor_fail(state, code);
    state->cursor = const_cast<uint8_t*>(at);
    state->remaining--;
    return true;
}
