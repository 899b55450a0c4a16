#include "OtpBlock.h"
#include "OtpKeys.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

using otp::OtpError;
using otp::OtpStatus;
using Handler = OtpBlock::Handler;

namespace {

constexpr std::uint32_t kTextKey = 0x3CA6A4AF;

std::uint32_t code(OtpError error)
{
    return static_cast<std::uint32_t>(error);
}

std::string textOfLength(std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

void writeText(OtpBlock& block, std::uint32_t key, const std::string& text)
{
    ASSERT_TRUE(block.handler().WriteString(key, text));
    block.calls.clear();
}

void expectStatus(const OtpStatus& status, std::optional<OtpError> expected, const std::string& name)
{
    if (expected) {
        ASSERT_FALSE(status) << name;
        EXPECT_EQ(code(status.error()), code(*expected)) << name;
    } else {
        EXPECT_TRUE(status) << name << " failed with " << code(status.error());
    }
}

} // namespace

TEST(OtpHandlerLookup, ReadByteFindsTheFirstMatchingEntryFromTheTop)
{
    struct Case {
        const char* name;
        std::function<void(OtpBlock&)> fill;
        std::uint32_t key;
        std::optional<std::uint8_t> value;
    };
    const Case cases[] = {
        {"erased block has no model record", [](OtpBlock&) {}, otp::kModelIdKey, std::nullopt},
        {"erased entry 0 reads as key FFFFFFFF", [](OtpBlock&) {}, 0xFFFFFFFF, 0xFF},
        {"record in entry 31", [](OtpBlock& b) { b.putByteRecord(31, otp::kModelIdKey, 5); }, otp::kModelIdKey, 5},
        {"newer record in entry 30 shadows entry 31",
         [](OtpBlock& b) {
             b.putByteRecord(31, otp::kModelIdKey, 5);
             b.putByteRecord(30, otp::kModelIdKey, 7);
         },
         otp::kModelIdKey, 7},
        {"other keys are skipped",
         [](OtpBlock& b) {
             b.putByteRecord(31, otp::kModelIdKey, 5);
             b.putByteRecord(30, 0x11111111, 9);
         },
         otp::kModelIdKey, 5},
        {"a continuation entry whose first bytes equal the key is taken for a record",
         [](OtpBlock& b) {
             b.putByteRecord(30, kTextKey, 'x');
             b.setEntry(31, {0x11, 0x47, 0x23, 0x01, 0x42});
         },
         otp::kModelIdKey, 0x42},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        c.fill(block);
        const auto result = block.handler().ReadByte(c.key);
        if (c.value) {
            ASSERT_TRUE(result) << c.name;
            EXPECT_EQ(result.value(), *c.value) << c.name;
        } else {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(code(result.error()), code(OtpError::KeyNotFound)) << c.name;
        }
    }
}

TEST(OtpHandlerLookup, FreeEntryCountCountsOnlyFullyErasedEntries)
{
    struct Case {
        const char* name;
        std::function<void(OtpBlock&)> fill;
        std::uint64_t free;
    };
    const Case cases[] = {
        {"erased", [](OtpBlock&) {}, 32},
        {"one record", [](OtpBlock& b) { b.putByteRecord(31, otp::kModelIdKey, 5); }, 31},
        {"one programmed byte makes an entry used", [](OtpBlock& b) { b.bytes[16 * 7 + 15] = std::byte{0xFE}; }, 31},
        {"all used", [](OtpBlock& b) { b.bytes.fill(std::byte{0}); }, 0},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        c.fill(block);
        EXPECT_EQ(block.handler().FreeEntryCount(), c.free) << c.name;
    }
}

TEST(OtpHandlerText, RecordsTakeEntriesFromTheTopWithTheKeyEntryLast)
{
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> indices;
    };
    const Case cases[] = {
        {0, {31}},           {10, {31}},      {11, {31}},
        {12, {31, 30}},      {27, {31, 30}},  {28, {31, 30, 29}},
        {30, {31, 30, 29}},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        const std::string text = textOfLength(c.length);
        ASSERT_TRUE(block.handler().WriteString(kTextKey, text)) << c.length;
        std::vector<std::uint8_t> indices;
        for (const auto& call : block.calls)
            indices.push_back(call.index);
        EXPECT_EQ(indices, c.indices) << "length " << c.length;
        const auto read = block.handler().ReadString(kTextKey);
        ASSERT_TRUE(read) << c.length;
        EXPECT_EQ(read.value(), text) << c.length;
    }
}

TEST(OtpHandlerText, EntriesCarryKeyThenTextThenZeros)
{
    OtpBlock block;
    const std::string text = textOfLength(30);
    ASSERT_TRUE(block.handler().WriteString(kTextKey, text));
    ASSERT_EQ(block.calls.size(), 3U);
    const std::size_t base = 29 * 16;
    const std::uint8_t key[] = {0xAF, 0xA4, 0xA6, 0x3C};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(block.at(base + i), key[i]) << i;
    for (std::size_t i = 0; i < 30; ++i)
        EXPECT_EQ(block.at(base + 4 + i), static_cast<std::uint8_t>(text[i])) << i;
    for (std::size_t i = 34; i < 48; ++i)
        EXPECT_EQ(block.at(base + i), 0) << i;
}

TEST(OtpHandlerText, EmptyTextTakesOneEntryOfKeyAndZeros)
{
    OtpBlock block;
    ASSERT_TRUE(block.handler().WriteString(kTextKey, ""));
    ASSERT_EQ(block.calls.size(), 1U);
    EXPECT_EQ(block.calls[0].index, 31);
    for (std::size_t i = 4; i < 16; ++i)
        EXPECT_EQ(block.at(31 * 16 + i), 0) << i;
    EXPECT_EQ(block.handler().ReadString(kTextKey).value(), "");
}

TEST(OtpHandlerText, LargestTextFillsTheBlockAndOneMoreByteDoesNotFit)
{
    OtpBlock full;
    ASSERT_TRUE(full.handler().WriteString(kTextKey, textOfLength(507)));
    EXPECT_EQ(full.calls.size(), 32U);
    EXPECT_EQ(full.calls.back().index, 0);
    EXPECT_EQ(full.handler().FreeEntryCount(), 0U);

    OtpBlock tooLong;
    const OtpStatus status = tooLong.handler().WriteString(kTextKey, textOfLength(508));
    expectStatus(status, OtpError::NoSpace, "508 bytes");
    EXPECT_TRUE(tooLong.calls.empty());
}

TEST(OtpHandlerText, TextWithoutTerminatorRunsToTheEndOfTheBlock)
{
    OtpBlock block;
    block.putByteRecord(30, kTextKey, 'A');
    for (std::size_t offset = 30 * 16 + 4; offset < 512; ++offset)
        block.bytes[offset] = std::byte{'A'};
    EXPECT_EQ(block.handler().ReadString(kTextKey).value(), std::string(28, 'A'));
}

TEST(OtpHandlerText, ListsSplitAtEveryLineFeed)
{
    struct Case {
        std::string stored;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"a\nb", {"a", "b"}},
        {"a\n", {"a", ""}},
        {"\n", {"", ""}},
        {"a\n\nb", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        writeText(block, kTextKey, c.stored);
        const auto items = block.handler().ReadStringList(kTextKey);
        ASSERT_TRUE(items) << c.stored;
        EXPECT_EQ(items.value(), c.items) << c.stored;
    }
    OtpBlock empty;
    EXPECT_EQ(code(empty.handler().ReadStringList(kTextKey).error()), code(OtpError::KeyNotFound));
}

TEST(OtpHandlerText, ListWritesJoinItemsOrRefuseSeparators)
{
    struct Case {
        const char* name;
        std::vector<std::string_view> items;
        std::optional<OtpError> error;
        std::string stored;
    };
    const Case cases[] = {
        {"two one-letter items", {"a", "b"}, std::nullopt, "a\nb"},
        {"empty list", {}, std::nullopt, ""},
        {"item ending in a line feed", {"a\n", "b"}, OtpError::SeparatorInItem, ""},
        {"lone line feed", {"\n"}, OtpError::SeparatorInItem, ""},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        expectStatus(block.handler().WriteStringList(kTextKey, c.items), c.error, c.name);
        if (c.error) {
            EXPECT_TRUE(block.calls.empty()) << c.name;
            continue;
        }
        EXPECT_EQ(block.handler().ReadString(kTextKey).value(), c.stored) << c.name;
    }
}

TEST(OtpHandlerWrite, WriteIfAbsentAndReplaceCompareWithTheStoredValue)
{
    struct Case {
        const char* name;
        std::optional<std::string> existing;
        std::function<OtpStatus(Handler&)> operation;
        std::optional<OtpError> error;
        std::size_t writerCalls;
        std::optional<std::string> readBack;
    };
    const std::vector<std::string_view> oldList{"x", "y"};
    const std::vector<std::string_view> newList{"z"};
    const Case cases[] = {
        {"write when absent", std::nullopt, [](Handler& h) { return h.WriteString(kTextKey, "abc"); }, std::nullopt,
         1, "abc"},
        {"write of the same text", "abc", [](Handler& h) { return h.WriteString(kTextKey, "abc"); }, std::nullopt, 0,
         "abc"},
        {"write of a longer text", "abc", [](Handler& h) { return h.WriteString(kTextKey, "abcd"); },
         OtpError::ValueDiffers, 0, "abc"},
        {"replace when absent", std::nullopt, [](Handler& h) { return h.ReplaceString(kTextKey, "new", "abc"); },
         OtpError::KeyNotFound, 0, std::nullopt},
        {"replace with the wrong old text", "abc", [](Handler& h) { return h.ReplaceString(kTextKey, "new", "ab"); },
         OtpError::OldValueMismatch, 0, "abc"},
        {"replace shadows the old record", "abc", [](Handler& h) { return h.ReplaceString(kTextKey, "new", "abc"); },
         std::nullopt, 1, "new"},
        {"list replace", "x\ny", [&](Handler& h) { return h.ReplaceStringList(kTextKey, newList, oldList); },
         std::nullopt, 1, "z"},
        {"list replace with a separator in the old list", "x\ny",
         [&](Handler& h) {
             const std::vector<std::string_view> bad{"x\ny"};
             return h.ReplaceStringList(kTextKey, newList, bad);
         },
         OtpError::SeparatorInItem, 0, "x\ny"},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        if (c.existing)
            writeText(block, kTextKey, *c.existing);
        Handler handler = block.handler();
        expectStatus(c.operation(handler), c.error, c.name);
        EXPECT_EQ(block.calls.size(), c.writerCalls) << c.name;
        const auto read = block.handler().ReadString(kTextKey);
        EXPECT_EQ(read ? std::optional<std::string>(read.value()) : std::nullopt, c.readBack) << c.name;
    }
}

TEST(OtpHandlerWrite, ByteWritesAndReplacesCompareWithTheStoredByte)
{
    struct Case {
        const char* name;
        std::optional<std::uint8_t> existing;
        std::function<OtpStatus(Handler&)> operation;
        std::optional<OtpError> error;
        std::size_t writerCalls;
        std::optional<std::uint8_t> readBack;
    };
    const std::uint32_t key = otp::kModelIdKey;
    const Case cases[] = {
        {"write when absent", std::nullopt, [&](Handler& h) { return h.WriteByte(key, 5); }, std::nullopt, 1, 5},
        {"write of the same byte", 5, [&](Handler& h) { return h.WriteByte(key, 5); }, std::nullopt, 0, 5},
        {"write of another byte", 5, [&](Handler& h) { return h.WriteByte(key, 6); }, OtpError::ValueDiffers, 0, 5},
        {"replace when absent", std::nullopt, [&](Handler& h) { return h.ReplaceByte(key, 6, 5); },
         OtpError::KeyNotFound, 0, std::nullopt},
        {"replace with the wrong old byte", 5, [&](Handler& h) { return h.ReplaceByte(key, 6, 4); },
         OtpError::OldValueMismatch, 0, 5},
        {"replace shadows the old record", 5, [&](Handler& h) { return h.ReplaceByte(key, 6, 5); }, std::nullopt, 1,
         6},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        if (c.existing)
            block.putByteRecord(31, key, *c.existing);
        Handler handler = block.handler();
        expectStatus(c.operation(handler), c.error, c.name);
        EXPECT_EQ(block.calls.size(), c.writerCalls) << c.name;
        const auto read = block.handler().ReadByte(key);
        EXPECT_EQ(read ? std::optional<std::uint8_t>(read.value()) : std::nullopt, c.readBack) << c.name;
    }
}

TEST(OtpHandlerWrite, ByteRecordIsKeyValueAndElevenZeros)
{
    OtpBlock block;
    ASSERT_TRUE(block.handler().WriteByte(otp::kModelIdKey, 5));
    ASSERT_EQ(block.calls.size(), 1U);
    EXPECT_EQ(block.calls[0].index, 31);
    const std::uint8_t expected[16] = {0x11, 0x47, 0x23, 0x01, 0x05};
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(std::to_integer<std::uint8_t>(block.calls[0].entry[i]), expected[i]) << i;
}

TEST(OtpHandlerWrite, WriterFailuresCarryTheWriterCodeUnderTheFlag)
{
    struct Case {
        std::uint32_t writerCode;
        std::uint32_t error;
    };
    const Case cases[] = {{7, 0x80007}, {0x80000, 0x80000}, {0x7FFFF, 0xFFFFF}, {0xFFFFFFFF, 0xFFFFF}};
    for (const Case& c : cases) {
        OtpBlock block;
        block.failWriterFrom(0, c.writerCode);
        const OtpStatus status = block.handler().WriteByte(otp::kModelIdKey, 1);
        ASSERT_FALSE(status) << c.writerCode;
        EXPECT_EQ(code(status.error()), c.error) << c.writerCode;
        EXPECT_TRUE(otp::isWriterError(status.error()));
    }
}

TEST(OtpHandlerWrite, WriterFailurePartWayStopsAndLeavesNoFindableRecord)
{
    OtpBlock block;
    block.failWriterFrom(1, 3);
    const OtpStatus status = block.handler().WriteString(kTextKey, textOfLength(30));
    ASSERT_FALSE(status);
    EXPECT_EQ(code(status.error()), 0x80003U);
    ASSERT_EQ(block.calls.size(), 2U);
    EXPECT_EQ(block.calls[0].index, 31);
    EXPECT_EQ(block.calls[1].index, 30);
    EXPECT_FALSE(block.handler().ReadString(kTextKey));
    EXPECT_EQ(block.handler().FreeEntryCount(), 31U);
}

// Programming an entry that already holds data would corrupt it; a block whose
// free entries are not all below the used ones is treated as full.
TEST(OtpHandlerWrite, NeverProgramsAnEntryThatIsInUse)
{
    struct Case {
        const char* name;
        std::function<void(OtpBlock&)> fill;
        std::function<OtpStatus(Handler&)> operation;
        std::optional<OtpError> error;
    };
    const Case cases[] = {
        {"no free entry", [](OtpBlock& b) { b.bytes.fill(std::byte{0}); },
         [](Handler& h) { return h.WriteByte(otp::kModelIdKey, 1); }, OtpError::NoSpace},
        {"byte record would land on a used entry", [](OtpBlock& b) { b.putByteRecord(30, 0x22222222, 1); },
         [](Handler& h) { return h.WriteByte(otp::kModelIdKey, 1); }, OtpError::NoSpace},
        {"text record would span a used entry", [](OtpBlock& b) { b.putByteRecord(29, 0x22222222, 1); },
         [](Handler& h) { return h.WriteString(kTextKey, textOfLength(20)); }, OtpError::NoSpace},
        {"used entry above the target is fine", [](OtpBlock& b) { b.putByteRecord(31, 0x22222222, 1); },
         [](Handler& h) { return h.WriteString(kTextKey, textOfLength(20)); }, std::nullopt},
    };
    for (const Case& c : cases) {
        OtpBlock block;
        c.fill(block);
        const auto before = block.bytes;
        Handler handler = block.handler();
        expectStatus(c.operation(handler), c.error, c.name);
        if (c.error) {
            EXPECT_TRUE(block.calls.empty()) << c.name;
            EXPECT_EQ(block.bytes, before) << c.name;
        }
    }
}
