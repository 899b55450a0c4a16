#include "DfuListing.h"
#include "VirtualPorts.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(VirtualPorts, ParsesEntriesAndSkipsMalformedOnes)
{
    const QList<SerialPortEntry> entries =
        VirtualPorts::parse("/tmp/a=1209:4C55; /tmp/b=10c4:ea60;broken;/tmp/c=12:34;=0483:df11;/tmp/d=0483:df11x;");
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].portName, "/tmp/a");
    EXPECT_EQ(entries[0].vid, 0x1209);
    EXPECT_EQ(entries[0].pid, 0x4C55);
    EXPECT_EQ(entries[1].portName, "/tmp/b");
    EXPECT_EQ(entries[1].vid, 0x10c4);
    EXPECT_EQ(entries[1].pid, 0xea60);
}

TEST(VirtualPorts, OnlyEntriesWhosePathExistsArePresent)
{
    QTemporaryDir dir;
    const QString here = dir.filePath("unit0");
    QFile(here).open(QIODevice::WriteOnly);
    qputenv(VirtualPorts::kEnvironmentVariable, (here + "=1209:4c55;" + dir.filePath("gone") + "=1209:4c55").toUtf8());
    const QList<SerialPortEntry> present = VirtualPorts::present();
    qunsetenv(VirtualPorts::kEnvironmentVariable);
    ASSERT_EQ(present.size(), 1);
    EXPECT_EQ(present[0].portName, here);
}

TEST(DfuListing, TakesTheFirstBracketedPairOfEachLine)
{
    const QString output =
        "dfu-util 0.11\n\nCopyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\n"
        "Found DFU: [0483:df11] ver=2200, devnum=5, cfg=1, intf=0, path=\"1-1\", alt=0, "
        "name=\"@Internal Flash  /0x08000000/128*0002Kg\", serial=\"357A36693330\"\r\n"
        "Found Runtime: [1209:ABCD] [0483:df11] ver=0100\n"
        "no pair [0483-df11] here [12345:1234]\n"
        "Found DFU: [0483:DF11] ver=2200";
    EXPECT_EQ(parseDfuListing(output), (QStringList{"0483:df11", "1209:ABCD", "0483:DF11"}));
    EXPECT_TRUE(parseDfuListing("").isEmpty());
}

TEST(DfuListing, MissingToolGivesAnEmptyList)
{
    EXPECT_TRUE(runDfuListing("/nonexistent/dfu-util-static", 1000).isEmpty());
}

} // namespace
