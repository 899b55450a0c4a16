#include "ExactBuffer.h"
#include "McubootSerialUpdater.h"
#include "QtPrinters.h"
#include "SmpTestFrames.h"

#include <gtest/gtest.h>

using namespace smp_test;

namespace {

struct IntLookup {
    const char* name;
    QByteArray payload;
    const char* key;
    std::optional<int> expected;
};

std::vector<IntLookup> intLookups()
{
    const QByteArray nested = cborText("a") + QByteArray::fromHex("82 01 a1 61 78 9f 02 ff") + cborText("rc") + cborInt(3);
    return {
        {"rc zero", QByteArray::fromHex("a162726300"), "rc", 0},
        {"definite map, second key", QByteArray::fromHex("a2") + cborText("rc") + cborInt(0) + cborText("off") + cborInt(1483), "off", 1483},
        {"indefinite map, second key", QByteArray::fromHex("bf") + cborText("rc") + cborInt(0) + cborText("off") + cborInt(1483) + '\xFF', "off", 1483},
        {"integer key skipped with its value", QByteArray::fromHex("a2 01 02") + cborText("rc") + cborInt(5), "rc", 5},
        {"byte-string key skipped", QByteArray::fromHex("a2 42 72 63 07") + cborText("rc") + cborInt(6), "rc", 6},
        {"nested values skipped whole", QByteArray::fromHex("a2") + nested, "rc", 3},
        {"keys inside nested maps not searched", QByteArray::fromHex("a1") + cborText("x") + cborMap({{"rc", cborInt(9)}}), "rc", std::nullopt},
        {"tagged value skipped", QByteArray::fromHex("a2") + cborText("t") + QByteArray::fromHex("c1 1a 00 01 00 00") + cborText("rc") + cborInt(2), "rc", 2},
        {"first matching key wins", QByteArray::fromHex("a2") + cborText("rc") + cborInt(1) + cborText("rc") + cborInt(2), "rc", 1},
        {"longer key is another key", cborMap({{"rcx", cborInt(4)}}), "rc", std::nullopt},
        {"shorter key is another key", cborMap({{"r", cborInt(4)}}), "rc", std::nullopt},
        {"largest positive", cborMap({{"off", cborInt(2147483647)}}), "off", 2147483647},
        {"2^31 not returned", cborMap({{"off", cborInt(2147483648LL)}}), "off", std::nullopt},
        {"negative", cborMap({{"off", cborInt(-1)}}), "off", -1},
        {"most negative", cborMap({{"off", cborInt(-2147483648LL)}}), "off", -2147483647 - 1},
        {"below -2^31 not returned", cborMap({{"off", cborInt(-2147483649LL)}}), "off", std::nullopt},
        {"64-bit argument not returned", cborMap({{"off", QByteArray::fromHex("1b 00 00 00 00 00 00 00 01")}}), "off", std::nullopt},
        {"text value is not an integer", cborMap({{"rc", cborText("0")}}), "rc", std::nullopt},
        {"key absent", cborMap({{"off", cborInt(1)}}), "rc", std::nullopt},
        {"empty map", QByteArray::fromHex("bfff"), "rc", std::nullopt},
        {"empty payload", {}, "rc", std::nullopt},
        {"not a map", QByteArray::fromHex("82 62 72 63 00"), "rc", std::nullopt},
        {"map cut short keeps earlier keys", QByteArray::fromHex("bf") + cborText("rc") + cborInt(7) + QByteArray::fromHex("63 6f 66"), "rc", 7},
        {"damage before the key hides it", QByteArray::fromHex("bf 5a ff ff ff ff") + cborText("rc") + cborInt(7), "rc", std::nullopt},
        {"stray break inside a definite map", QByteArray::fromHex("a2 ff") + cborText("rc") + cborInt(7), "rc", std::nullopt},
        {"huge definite pair count", QByteArray::fromHex("bb 7f ff ff ff ff ff ff ff") + cborText("rc") + cborInt(1), "rc", std::nullopt},
        {"indefinite byte-string value skipped fails", QByteArray::fromHex("a2") + cborText("x") + QByteArray::fromHex("5f 41 00 ff") + cborText("rc") + cborInt(1), "rc", std::nullopt},
    };
}

TEST(CborMapLookup, IntegerLookups)
{
    for (const IntLookup& lookup : intLookups()) {
        const ExactBuffer exact(lookup.payload);
        EXPECT_EQ(McubootSerialUpdater::cborDecodeMapInt(exact.view(), lookup.key), lookup.expected) << lookup.name;
    }
}

TEST(CborMapLookup, ByteStringLookups)
{
    const QByteArray value = QByteArray::fromHex("2a 00 17");
    const QByteArray payload = cborMap({{"rc", cborInt(0)}, {"data", cborBytes(value)}});
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(payload, "data"), value);
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(cborMap({{"data", cborBytes({})}}), "data"), QByteArray());
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(payload, "rc"), std::nullopt) << "integer is not a byte string";
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(cborMap({{"data", cborText("abc")}}), "data"), std::nullopt);

    QByteArray overrun = cborMap({{"data", cborBytes("abcdef")}});
    overrun.chop(2);
    const ExactBuffer exact(overrun);
    EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(exact.view(), "data"), std::nullopt);
}

// Every prefix of a response: a value is returned exactly when it lies whole
// inside the prefix, and nothing is read past the prefix's end.
TEST(CborMapLookup, EveryPrefixIsReadWithinBounds)
{
    const QByteArray data = cborBytes("\x01\x02\x03\x04");
    const QByteArray rc = cborInt(-70000);
    const QByteArray off = cborInt(70000);
    const QByteArray payloads[] = {
        QByteArray::fromHex("bf") + cborText("images") + QByteArray::fromHex("9f bf 64 73 6c 6f 74 00 ff ff")
            + cborText("data") + data + cborText("rc") + rc + '\xFF',
        QByteArray::fromHex("a3 c1 01 f5 18 64 5a 00 00 00 02 61 62") + cborText("off") + off,
    };
    for (const QByteArray& payload : payloads) {
        const auto completeAt = [&](const QByteArray& key, const QByteArray& value) {
            const qsizetype at = payload.indexOf(cborText(key) + value);
            return at < 0 ? payload.size() + 1 : at + cborText(key).size() + value.size();
        };
        for (qsizetype length = 0; length <= payload.size(); ++length) {
            const ExactBuffer exact(payload.left(length));
            const QByteArray view = exact.view();
            EXPECT_EQ(McubootSerialUpdater::cborDecodeMapInt(view, "rc").has_value(), length >= completeAt("rc", rc))
                << "prefix " << length;
            EXPECT_EQ(McubootSerialUpdater::cborDecodeMapInt(view, "off").has_value(), length >= completeAt("off", off))
                << "prefix " << length;
            EXPECT_EQ(McubootSerialUpdater::cborDecodeMapBstr(view, "data").has_value(),
                      length >= completeAt("data", data))
                << "prefix " << length;
        }
    }
}

} // namespace
