#include "Stm32DfuUtilCompletionWatch.h"
#include "Stm32DfuUtilProgress.h"

#include <QByteArrayList>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <optional>

using namespace stm32_updater;

namespace {

// A progress update as dfu-util 0.11 draws it.
QString bar(int percent, int bytes)
{
    const int filled = 25 * percent / 100;
    return QStringLiteral("\rDownload\t[%1%2] %3% %4 bytes")
        .arg(QString(filled, QLatin1Char('=')), QString(25 - filled, QLatin1Char(' ')))
        .arg(percent, 3)
        .arg(bytes, 12);
}

} // namespace

TEST(DfuUtilProgress, TakesTheLastUpdateAfterTheLastLineFeed)
{
    const QString header = QStringLiteral("Opening DFU capable USB device...\nDownloading element to address = "
                                          "0x08000000, size = 12345\n");
    const QString erase = QStringLiteral("\rErase   \t[=========================] 100%        12345 bytes\n"
                                         "Erase    done.\n");
    struct Case {
        const char* name;
        QString output;
        std::optional<int> percent;
    };
    const Case cases[] = {
        {"two updates after the last line feed", header + bar(42, 5000) + bar(57, 7000), 57},
        {"a single update", bar(3, 100), 3},
        {"after the erase phase", header + erase + bar(8, 1000), 8},
        {"trailing line feed leaves an empty piece", header + bar(57, 7000) + QStringLiteral("\n"), std::nullopt},
        {"the final lines", bar(100, 12345) + QStringLiteral("\nDownload done.\nFile downloaded successfully\n"),
         std::nullopt},
        {"no new output", QString(), std::nullopt},
        {"only erase progress", header + QStringLiteral("\rErase   \t[====       ]  42%   4000 bytes"), std::nullopt},
        {"no percent sign", QStringLiteral("Download\t[====] 42"), std::nullopt},
        {"percent after the last bracket wins", QStringLiteral("Download [a] 10% [b] 20%"), 20},
        {"percent above a hundred passes unchanged", QStringLiteral("Download] 250%"), 250},
        {"number too large for an int", QStringLiteral("Download] 99999999999%"), std::nullopt},
        {"bracket before Download does not count", QStringLiteral("] 42% Download"), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lastDownloadPercent(c.output), c.percent) << c.name;
}

// Random bytes without line ends: a progress update after them is still
// found, and after a line feed nothing but noise leaves no percentage.
TEST(DfuUtilProgress, SurvivesBinaryNoise)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 200; ++round) {
        QByteArray noise(4096, '\0');
        for (char& byte : noise) {
            do
                byte = static_cast<char>(random.bounded(256));
            while (byte == '\n' || byte == '\r');
        }
        const QString text = QString::fromUtf8(noise);
        const int percent = static_cast<int>(random.bounded(101));
        const QString update = QStringLiteral("Download\t[==] %1%").arg(percent);
        EXPECT_EQ(lastDownloadPercent(text + '\r' + update), percent) << round;
        EXPECT_EQ(lastDownloadPercent(update + '\n' + text), std::nullopt) << round;
    }
    // Many starts and no match: one anchored attempt keeps this linear.
    const QString flood = QStringLiteral("Download ]").repeated(200000);
    EXPECT_EQ(lastDownloadPercent(flood), std::nullopt);
}

TEST(DfuUtilCompletionWatch, SeesTheCompletionLineEvenWhenSplitAcrossReads)
{
    struct Case {
        const char* name;
        QList<QByteArray> pieces;
        bool completed;
    };
    const Case cases[] = {
        {"in one read", {"Download done.\nFile downloaded successfully\n"}, true},
        {"split in the middle", {"Download done.\nFile downl", "oaded successfully\n"}, true},
        {"split over three reads", {"File ", "downloaded succ", "essfully"}, true},
        {"never printed", {"Download\t[===] 57%", "dfu-util: Error during download\n"}, false},
        {"nothing read", {}, false},
    };
    for (const Case& c : cases) {
        Stm32DfuUtilCompletionWatch watch;
        for (const QByteArray& piece : c.pieces)
            watch.feed(piece);
        EXPECT_EQ(watch.completed(), c.completed) << c.name;
        watch.reset();
        EXPECT_FALSE(watch.completed()) << c.name;
    }
}
