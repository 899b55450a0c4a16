#include "Console.h"
#include "TerminalText.h"

#include <QJsonObject>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Everything written to the stream so far.
QByteArray contentOf(std::FILE* stream)
{
    std::fflush(stream);
    const long size = std::ftell(stream);
    QByteArray bytes(size, '\0');
    std::rewind(stream);
    const std::size_t got = std::fread(bytes.data(), 1, static_cast<std::size_t>(size), stream);
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

// A console on a machine whose local 8-bit encoding is Latin-1, as on a
// Western European Windows.
class Latin1Console : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::fclose(output);
        std::fclose(errors);
    }

    Console console(bool json)
    {
        return Console(json, [](const QString& text) { return text.toLatin1(); }, output, errors);
    }

    std::FILE* output = std::tmpfile();
    std::FILE* errors = std::tmpfile();
};

TEST_F(Latin1Console, JsonLinesAreUtf8WhateverTheLocalEncoding)
{
    console(true).event(QJsonObject{{"event", "found"}, {"product", QStringLiteral("Prüfstand €")}});
    EXPECT_EQ(contentOf(output), QByteArray("{\"event\":\"found\",\"product\":\"Pr\xc3\xbc"
                                            "fstand \xe2\x82\xac\"}\n"));
}

TEST_F(Latin1Console, TextForAPersonIsInTheLocalEncoding)
{
    console(false).line(QStringLiteral("Prüfstand"));
    console(false).tell(QStringLiteral("Grüße"));
    EXPECT_EQ(contentOf(output), QByteArray("Pr\xfc" "fstand\n"));
    EXPECT_EQ(contentOf(errors), QByteArray("Gr\xfc\xdf" "e\n"));
}

TEST(TerminalText, ControlCharactersBecomeQuestionMarks)
{
    struct Case {
        QString fromUnit;
        QString shown;
    };
    const Case cases[] = {
        {"LMX-0042", "LMX-0042"},
        {"LMX\x1b]0;owned\x07", "LMX?]0;owned?"},
        {"A\rB\nC\tD\x7f", "A?B?C?D?"},
        {QStringLiteral("x\u009by"), "x?y"},  // the one-character CSI of 8-bit terminals
        {QStringLiteral("Prüfstand-1"), QStringLiteral("Prüfstand-1")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminalText(c.fromUnit), c.shown) << c.fromUnit.toStdString();
}

} // namespace
