#include "Cbor.h"
#include "CborTestBytes.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace {

// A decoder over an exact-size copy of the bytes, with `Records` records.
template <std::size_t Records = 3>
struct Decoder {
    explicit Decoder(const Bytes& bytes, uint64_t elements = 1) : payload(bytes)
    {
        cbor_init_state(records.data(), Records, payload.data(), payload.length(), elements);
    }

    zcbor_state_t* state() { return records.data(); }
    std::size_t consumed() const { return static_cast<std::size_t>(records[0].cursor - payload.data()); }
    int32_t error() const { return cbor_error(records.data()); }

    ExactBytes payload;
    std::array<zcbor_state_t, Records> records{};
};

struct IntCase {
    const char* bytes;
    bool ok;
    int64_t value; // or the error code
};

TEST(CborDecoder, SignedIntegers)
{
    const IntCase cases[] = {
        {"00", true, 0},
        {"17", true, 23},
        {"18 18", true, 24},
        {"19 05 cb", true, 1483},
        {"1a 7f ff ff ff", true, 2147483647},
        {"20", true, -1},
        {"38 63", true, -100},
        {"3a 7f ff ff ff", true, -2147483648LL},
        {"1a 80 00 00 00", false, CBOR_ERR_INT_SIZE},
        {"3a 80 00 00 00", false, CBOR_ERR_INT_SIZE},
        {"1b 00 00 00 00 00 00 00 01", false, CBOR_ERR_INT_SIZE},
        {"1c", false, CBOR_ERR_ADDITIONAL_INVAL},
        {"1f", false, CBOR_ERR_ADDITIONAL_INVAL},
        {"19 05", false, CBOR_ERR_NO_PAYLOAD},
        {"", false, CBOR_ERR_NO_PAYLOAD},
        {"40", false, CBOR_ERR_WRONG_TYPE},
        {"f5", false, CBOR_ERR_WRONG_TYPE},
    };
    for (const IntCase& c : cases) {
        Decoder<> decoder(hex(c.bytes));
        int32_t value = 0;
        ASSERT_EQ(cbor_get_int32(decoder.state(), &value), c.ok) << c.bytes;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.bytes;
            EXPECT_EQ(decoder.consumed(), decoder.payload.length()) << c.bytes;
            EXPECT_EQ(decoder.records[0].remaining, 0u);
        } else {
            EXPECT_EQ(decoder.error(), c.value) << c.bytes;
            EXPECT_EQ(decoder.consumed(), 0u) << "a failed read is undone: " << c.bytes;
            EXPECT_EQ(decoder.records[0].remaining, 1u) << c.bytes;
        }
    }
}

TEST(CborDecoder, Booleans)
{
    const IntCase cases[] = {
        {"f4", true, 0},  {"f5", true, 1}, {"f8 15", true, 1}, {"f6", false, CBOR_ERR_WRONG_TYPE},
        {"f9 00 00", false, CBOR_ERR_WRONG_TYPE}, {"01", false, CBOR_ERR_WRONG_TYPE}, {"f8", false, CBOR_ERR_NO_PAYLOAD},
    };
    for (const IntCase& c : cases) {
        Decoder<> decoder(hex(c.bytes));
        bool value = false;
        ASSERT_EQ(cbor_get_bool(decoder.state(), &value), c.ok) << c.bytes;
        if (c.ok)
            EXPECT_EQ(value, c.value == 1) << c.bytes;
        else
            EXPECT_EQ(decoder.error(), c.value) << c.bytes;
        EXPECT_EQ(decoder.consumed(), c.ok ? decoder.payload.length() : 0u) << c.bytes;
    }
}

TEST(CborDecoder, StringsAreViewsIntoThePayload)
{
    Decoder<> decoder(hex("43 01 02 03 62 72 63"), 2);
    zcbor_string bytes{}, text{};
    ASSERT_TRUE(cbor_get_bstr(decoder.state(), &bytes));
    EXPECT_EQ(bytes.value, decoder.payload.data() + 1);
    EXPECT_EQ(bytes.len, 3u);
    EXPECT_FALSE(cbor_get_bstr(decoder.state(), &text)) << "text is not bytes";
    EXPECT_EQ(decoder.error(), CBOR_ERR_WRONG_TYPE);
    ASSERT_TRUE(cbor_get_tstr(decoder.state(), &text));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.value), text.len), "rc");
    EXPECT_FALSE(cbor_get_tstr(decoder.state(), &text)) << "no element left";
}

TEST(CborDecoder, StringFailures)
{
    const IntCase cases[] = {
        {"44 01 02 03", false, CBOR_ERR_NO_PAYLOAD},
        {"5b ff ff ff ff ff ff ff ff 00", false, CBOR_ERR_NO_PAYLOAD},
        {"5f 41 00 ff", false, CBOR_ERR_ADDITIONAL_INVAL},
        {"59 01", false, CBOR_ERR_NO_PAYLOAD},
        {"a0", false, CBOR_ERR_WRONG_TYPE},
    };
    for (const IntCase& c : cases) {
        Decoder<> decoder(hex(c.bytes));
        zcbor_string view{};
        EXPECT_FALSE(cbor_get_bstr(decoder.state(), &view)) << c.bytes;
        EXPECT_EQ(decoder.error(), c.value) << c.bytes;
        EXPECT_EQ(decoder.consumed(), 0u) << c.bytes;
        EXPECT_EQ(decoder.records[0].remaining, 1u) << c.bytes;
    }
}

TEST(CborDecoder, DefiniteAndIndefiniteContainers)
{
    Decoder<4> decoder(hex("a1 61 6b 9f 01 ff"));
    zcbor_string key{};
    ASSERT_TRUE(cbor_get_map_begin(decoder.state()));
    EXPECT_EQ(decoder.records[0].remaining, 2u) << "pairs count keys and values";
    EXPECT_FALSE(cbor_get_container_end(decoder.state()));
    EXPECT_EQ(decoder.error(), CBOR_ERR_HIGH_ELEM_COUNT);
    ASSERT_TRUE(cbor_get_tstr(decoder.state(), &key));
    ASSERT_TRUE(cbor_get_list_begin(decoder.state()));
    EXPECT_TRUE(decoder.records[0].indefinite);
    EXPECT_FALSE(cbor_at_container_end(decoder.state()));
    EXPECT_FALSE(cbor_get_container_end(decoder.state())) << "01 is not a break";
    EXPECT_EQ(decoder.error(), CBOR_ERR_WRONG_TYPE);
    int32_t item = 0;
    ASSERT_TRUE(cbor_get_int32(decoder.state(), &item));
    EXPECT_TRUE(cbor_at_container_end(decoder.state()));
    ASSERT_TRUE(cbor_get_container_end(decoder.state()));
    EXPECT_TRUE(cbor_at_container_end(decoder.state()));
    ASSERT_TRUE(cbor_get_container_end(decoder.state()));
    EXPECT_EQ(decoder.consumed(), 6u);
    EXPECT_EQ(decoder.records[0].remaining, 0u);
    EXPECT_FALSE(cbor_get_container_end(decoder.state()));
    EXPECT_EQ(decoder.error(), CBOR_ERR_NO_BACKUP_ACTIVE);
}

TEST(CborDecoder, ContainerEntryFailures)
{
    struct Case {
        const char* bytes;
        uint64_t elements;
        int32_t error;
    };
    const Case cases[] = {
        {"a1 a1 a0", 1, CBOR_ERR_NO_BACKUP_MEM}, // 3 records: the second level has no slot
        {"bf", 0, CBOR_ERR_LOW_ELEM_COUNT},
        {"a1", 0, CBOR_ERR_LOW_ELEM_COUNT},
        {"bb 7f ff ff ff ff ff ff ff", 1, CBOR_ERR_INT_SIZE},
        {"bb 00 00 00 00", 1, CBOR_ERR_NO_PAYLOAD},
        {"", 1, CBOR_ERR_NO_PAYLOAD},
        {"80", 1, CBOR_ERR_WRONG_TYPE},
    };
    for (const Case& c : cases) {
        Decoder<> decoder(hex(c.bytes), c.elements);
        const bool nested = std::string(c.bytes).size() > 2 && c.bytes[0] == 'a' && c.bytes[3] == 'a';
        if (nested) {
            ASSERT_TRUE(cbor_get_map_begin(decoder.state()));
        }
        const std::size_t before = decoder.consumed();
        EXPECT_FALSE(cbor_get_map_begin(decoder.state())) << c.bytes;
        EXPECT_EQ(decoder.error(), c.error) << c.bytes;
        EXPECT_EQ(decoder.consumed(), before) << c.bytes;
    }
}

struct SkipCase {
    const char* bytes;
    int32_t error; // 0: the whole input is one item
};

TEST(CborSkip, PassesOverOneWholeItem)
{
    const SkipCase cases[] = {
        {"00", 0},
        {"3a 7f ff ff ff", 0},
        {"1b 01 02 03 04 05 06 07 08", 0},
        {"43 01 02 03", 0},
        {"c1 c2 1a 00 00 00 01", 0},
        {"82 a1 61 61 9f f6 f7 ff 40", 0},
        {"bf 01 bf 02 03 ff ff", 0},
        {"f8 ff", 0},
        {"ff", CBOR_ERR_ADDITIONAL_INVAL},
        {"5f 41 00 ff", CBOR_ERR_ADDITIONAL_INVAL},
        {"db 00 00 00 00 00 00 00 01 00", CBOR_ERR_INT_SIZE},
        {"bb 80 00 00 00 00 00 00 00", CBOR_ERR_INT_SIZE},
        {"82 01", CBOR_ERR_NO_PAYLOAD},
        {"9f 01 02", CBOR_ERR_NO_PAYLOAD},
        {"a1 01 ff", CBOR_ERR_ADDITIONAL_INVAL},
        {"c1", CBOR_ERR_NO_PAYLOAD},
        {"", CBOR_ERR_NO_PAYLOAD},
    };
    for (const SkipCase& c : cases) {
        Decoder<> decoder(hex(c.bytes));
        const zcbor_state_t before = decoder.records[0];
        ASSERT_EQ(cbor_skip(decoder.state()), c.error == 0) << c.bytes;
        if (c.error == 0) {
            EXPECT_EQ(decoder.consumed(), decoder.payload.length()) << c.bytes;
            EXPECT_EQ(decoder.records[0].remaining, 0u) << c.bytes;
        } else {
            EXPECT_EQ(decoder.error(), c.error) << c.bytes;
            EXPECT_EQ(decoder.records[0].cursor, before.cursor) << c.bytes;
            EXPECT_EQ(decoder.records[0].remaining, before.remaining) << c.bytes;
        }
        EXPECT_EQ(decoder.records[0].cursor_backup, before.cursor_backup) << c.bytes;
    }
}

// Thousands of nested list heads must fail cleanly, not exhaust the stack.
TEST(CborSkip, DeepNestingFailsWithoutRecursingWithoutBound)
{
    Bytes deep(100000, 0x81);
    deep.push_back(0x00);
    Decoder<> decoder(deep);
    EXPECT_FALSE(cbor_skip(decoder.state()));
    EXPECT_EQ(decoder.error(), CBOR_ERR_NO_BACKUP_MEM);
    EXPECT_EQ(decoder.consumed(), 0u);

    Bytes nested(40, 0x9f);
    nested.push_back(0x00);
    nested.insert(nested.end(), 40, 0xff);
    Decoder<> shallow(nested);
    EXPECT_TRUE(cbor_skip(shallow.state()));
    EXPECT_EQ(shallow.consumed(), nested.size());
}

TEST(CborSkip, NeedsAnElementLeft)
{
    Decoder<> decoder(hex("01 02"), 1);
    ASSERT_TRUE(cbor_skip(decoder.state()));
    EXPECT_FALSE(cbor_skip(decoder.state()));
    EXPECT_EQ(decoder.error(), CBOR_ERR_LOW_ELEM_COUNT);
}

// Every strict prefix of a well-formed item is incomplete: each reader must
// fail on it without touching a byte past the prefix.
TEST(CborDecoder, TruncatedInputsFailWithinBounds)
{
    const char* items[] = {
        "1a 00 01 11 70",
        "3a 7f ff ff ff",
        "59 00 05 01 02 03 04 05",
        "78 02 72 63",
        "bf 64 64 61 74 61 43 01 02 03 63 6f 66 66 00 63 6c 65 6e 03 65 69 6d 61 67 65 00 ff",
        "a2 62 72 63 00 63 6f 66 66 19 05 cb",
        "9f c1 82 01 bf 61 61 f5 ff 40 ff",
        "f8 15",
    };
    using Reader = std::function<bool(zcbor_state_t*)>;
    const Reader readers[] = {
        [](zcbor_state_t* s) { int32_t v; return cbor_get_int32(s, &v); },
        [](zcbor_state_t* s) { zcbor_string v; return cbor_get_bstr(s, &v); },
        [](zcbor_state_t* s) { zcbor_string v; return cbor_get_tstr(s, &v); },
        [](zcbor_state_t* s) { bool v; return cbor_get_bool(s, &v); },
        [](zcbor_state_t* s) { return cbor_skip(s); },
        [](zcbor_state_t* s) {
            // Walk a container as far as it goes.
            if (!cbor_get_map_begin(s) && !cbor_get_list_begin(s))
                return false;
            while (!cbor_at_container_end(s)) {
                if (!cbor_skip(s))
                    return false;
            }
            return cbor_get_container_end(s);
        },
    };
    for (const char* item : items) {
        const Bytes whole = hex(item);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            for (const Reader& read : readers) {
                Decoder<> prefix(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
                EXPECT_FALSE(read(prefix.state())) << item << " cut at " << length;
                EXPECT_LE(prefix.consumed(), length) << item << " cut at " << length;
            }
        }
        Decoder<> complete(whole);
        EXPECT_TRUE(cbor_skip(complete.state())) << item;
    }
}

} // namespace
