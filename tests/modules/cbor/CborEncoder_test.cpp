#include "Cbor.h"
#include "CborTestBytes.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Encoder {
    explicit Encoder(std::size_t room) : buffer(room, 0xAA) { cbor_init_state(records.data(), 2, buffer.data(), room, 1); }

    std::string written() const { return toHex(buffer.data(), static_cast<std::size_t>(records[0].cursor - buffer.data())); }
    zcbor_state_t* state() { return records.data(); }

    Bytes buffer;
    std::array<zcbor_state_t, 2> records{};
};

struct UintCase {
    uint32_t value;
    const char* encoded;
};

TEST(CborEncoder, UnsignedIntegersUseTheShortestHead)
{
    const UintCase cases[] = {
        {0, "00"},           {23, "17"},          {24, "18 18"},          {255, "18 ff"},
        {256, "19 01 00"},   {1483, "19 05 cb"},  {65535, "19 ff ff"},    {65536, "1a 00 01 00 00"},
        {70000, "1a 00 01 11 70"}, {0xFFFFFFFF, "1a ff ff ff ff"},
    };
    for (const UintCase& c : cases) {
        Encoder encoder(8);
        ASSERT_TRUE(cbor_put_uint32(encoder.state(), c.value)) << c.value;
        EXPECT_EQ(encoder.written(), c.encoded) << c.value;
    }
}

TEST(CborEncoder, EmptyIndefiniteMap)
{
    Encoder encoder(8);
    ASSERT_TRUE(cbor_put_map_begin(encoder.state()));
    ASSERT_TRUE(cbor_put_container_end(encoder.state()));
    EXPECT_EQ(encoder.written(), "bf ff");
}

TEST(CborEncoder, StringsCarryTheirLengthInTheHead)
{
    Encoder encoder(600);
    const Bytes text(24, 'a');
    const Bytes bytes(256, 0x11);
    ASSERT_TRUE(cbor_put_tstr(encoder.state(), "key", 3));
    ASSERT_TRUE(cbor_put_bstr(encoder.state(), nullptr, 0));
    ASSERT_TRUE(cbor_put_tstr(encoder.state(), text.data(), text.size()));
    ASSERT_TRUE(cbor_put_bstr(encoder.state(), bytes.data(), bytes.size()));
    const std::string out = encoder.written();
    EXPECT_EQ(out.substr(0, 17), "63 6b 65 79 40 78");
    EXPECT_EQ(out.substr(18, 5), "18 61");
    EXPECT_NE(out.find("59 01 00 11 11"), std::string::npos);
    EXPECT_EQ(encoder.records[0].cursor - encoder.buffer.data(), 4 + 1 + 26 + 259);
}

// Each write either fits whole or fails with 8 and leaves buffer and cursor alone.
TEST(CborEncoder, WritesThatDoNotFitLeaveEverythingUntouched)
{
    const Bytes chunk(1483, 0x5A);
    struct Case {
        const char* name;
        std::size_t room;
        std::function<bool(zcbor_state_t*)> put;
    };
    const Case cases[] = {
        {"1483-byte string, room for 1485", 1485, [&](zcbor_state_t* s) { return cbor_put_bstr(s, chunk.data(), chunk.size()); }},
        {"string, no room at all", 0, [](zcbor_state_t* s) { return cbor_put_tstr(s, "", 0); }},
        {"text head fits, bytes do not", 3, [](zcbor_state_t* s) { return cbor_put_tstr(s, "key", 3); }},
        {"four-byte number, room for four", 4, [](zcbor_state_t* s) { return cbor_put_uint32(s, 70000); }},
        {"two-byte number, room for one", 1, [](zcbor_state_t* s) { return cbor_put_uint32(s, 24); }},
        {"map begin, no room", 0, [](zcbor_state_t* s) { return cbor_put_map_begin(s); }},
        {"map end, no room", 0, [](zcbor_state_t* s) { return cbor_put_container_end(s); }},
    };
    for (const Case& c : cases) {
        Encoder encoder(c.room);
        EXPECT_FALSE(c.put(encoder.state())) << c.name;
        EXPECT_EQ(cbor_error(encoder.state()), CBOR_ERR_NO_PAYLOAD) << c.name;
        EXPECT_EQ(encoder.records[0].cursor, encoder.buffer.data()) << c.name;
        EXPECT_EQ(encoder.buffer, Bytes(c.room, 0xAA)) << c.name;
    }
    Encoder exact(1486);
    EXPECT_TRUE(cbor_put_bstr(exact.state(), chunk.data(), chunk.size()));
}

TEST(CborState, SharedPartLivesInTheLastRecord)
{
    std::array<zcbor_state_t, 5> records{};
    const uint8_t data[] = {0xA0};
    cbor_init_state(records.data(), records.size(), data, sizeof data, 1);
    ASSERT_EQ(static_cast<void*>(records[0].shared), static_cast<void*>(&records[4]));
    EXPECT_EQ(records[0].shared->backups, &records[1]);
    EXPECT_EQ(records[0].shared->backups_capacity, 3u);
    EXPECT_EQ(records[0].shared->backups_used, 0u);
    EXPECT_EQ(records[0].remaining, 1u);
    EXPECT_EQ(records[0].end, data + 1);

    std::array<zcbor_state_t, 2> pair{};
    cbor_init_state(pair.data(), pair.size(), data, sizeof data, 1);
    EXPECT_EQ(pair[0].shared->backups, nullptr);
    EXPECT_EQ(pair[0].shared->backups_capacity, 0u);

    zcbor_state_t single{};
    cbor_init_state(&single, 1, data, sizeof data, 1);
    EXPECT_EQ(single.shared, nullptr);
    EXPECT_FALSE(cbor_get_map_begin(&single)) << "no backup slot to enter with";
    EXPECT_EQ(single.cursor, data);
}

} // namespace
