#include "ExactBuffer.h"
#include "QtMessageCapture.h"
#include "McubootSerialUpdater.h"
#include "QtPrinters.h"
#include "SmpTestFrames.h"

#include <gtest/gtest.h>

using namespace smp_test;

namespace {

QStringList dump(const QByteArray& payload)
{
    QtMessageCapture log;
    const ExactBuffer exact(payload);
    McubootSerialUpdater::dumpSmpCbor(exact.view(), QStringLiteral("image-state"));
    return log.lines();
}

TEST(SmpCborDump, WritesEveryKindOfElement)
{
    const QByteArray payload = QByteArray::fromHex("bf") + cborText("images")
                               + QByteArray::fromHex("81 a3 64 73 6c 6f 74 00 64 68 61 73 68 42 ab cd 66 61 63 74 69 76 65 f5")
                               + QByteArray::fromHex("01 f6") + cborText("rc") + cborInt(-3) + '\xFF';
    const QStringList expected = {
        "debug: --- SMP CBOR \"image-state\" ---",
        "debug:    {",
        "debug:     images:  [",
        "debug:     images:   [0]  {",
        "debug:     images:   [0]   slot:  0",
        "debug:     images:   [0]   hash:  bstr[ 2 ]  ab cd",
        "debug:     images:   [0]   active:  true",
        "debug:     images:   [0]  }",
        "debug:     images:  ]",
        "debug:     <?>:  <unknown>",
        "debug:     rc:  -3",
        "debug:    }",
        "debug: --- end SMP CBOR \"image-state\" ---",
    };
    EXPECT_EQ(dump(payload), expected);
}

TEST(SmpCborDump, TextValuesAreQuotedAsSeparateItems)
{
    const QStringList lines = dump(cborMap({{"name", cborText("boot")}}));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], "debug:     name:  \" boot \"");
}

TEST(SmpCborDump, NestingBeyondThreeLevelsIsReportedAndSkipped)
{
    const QStringList expected = {
        "debug: --- SMP CBOR \"image-state\" ---",
        "debug:    [",
        "debug:     [0]  [",
        "debug:     [0]   [0]  [",
        "debug:     [0]   [0]   [0]  {",
        "debug:     [0]   [0]   [0]    <map decode error>",
        "debug:     [0]   [0]   [0]  }",
        "debug:     [0]   [0]  ]",
        "debug:     [0]  ]",
        "debug:    ]",
        "debug: --- end SMP CBOR \"image-state\" ---",
    };
    EXPECT_EQ(dump(QByteArray::fromHex("81 81 81 a1 61 6b 00")), expected);
}

// Damaged containers must end the dump rather than repeat the same element.
TEST(SmpCborDump, DamagedContainersEndTheDump)
{
    const QByteArray damaged[] = {
        QByteArray::fromHex("82 01"),                // list shorter than announced
        QByteArray::fromHex("81 5b ff ff ff ff ff ff ff ff"), // item longer than the payload
        QByteArray::fromHex("9f 01 02"),             // indefinite list without break
        QByteArray::fromHex("a2") + cborText("a"),   // map value missing
        QByteArray::fromHex("bf 01"),                // key without value
        QByteArray::fromHex("a1 61"),                // key cut short
        QByteArray::fromHex("ff"),                   // lone break
    };
    for (const QByteArray& payload : damaged) {
        const QStringList lines = dump(payload);
        EXPECT_LT(lines.size(), 12) << payload.toHex().toStdString();
        EXPECT_EQ(lines.last(), "debug: --- end SMP CBOR \"image-state\" ---");
    }
    EXPECT_TRUE(dump(QByteArray::fromHex("81 5b ff ff ff ff ff ff ff ff")).contains("debug:     [0]  <decode error>"));
}

TEST(SmpCborDump, EmptyPayloadWritesOnlyTheFrame)
{
    EXPECT_EQ(dump({}).size(), 2);
}

} // namespace
