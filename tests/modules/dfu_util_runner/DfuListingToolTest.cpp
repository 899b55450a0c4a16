#include "DfuListing.h"
#include "DfuSimEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kRealDfuUtil = QStringLiteral("/usr/bin/dfu-util");

} // namespace

// The real tool's output with no unit attached (banner only) must read as an
// empty listing, not as a unit.
TEST(DfuListingTool, RealDfuUtilWithNoUnitListsNothing)
{
    ASSERT_TRUE(QFileInfo(kRealDfuUtil).isExecutable()) << "install the dfu-util package";
    QProcess tool;
    tool.start(kRealDfuUtil, {QStringLiteral("-l"), QStringLiteral("-a0")});
    ASSERT_TRUE(tool.waitForFinished(30000));
    const QString output = QString::fromUtf8(tool.readAllStandardOutput());
    ASSERT_TRUE(output.contains(QLatin1String("dfu-util"))) << output.toStdString();
    if (output.contains(QLatin1String("Found ")))
        GTEST_SKIP() << "a DFU unit is attached to this machine";
    EXPECT_TRUE(parseDfuListing(output).isEmpty()) << output.toStdString();
    EXPECT_TRUE(runDfuListing(kRealDfuUtil).isEmpty());
}

TEST(DfuListingTool, SimulatedUnitsAreListedInDfuUtilsForm)
{
    DfuSimEnvironment sim;
    struct Case {
        QByteArray units;
        QStringList listed;
    };
    const Case cases[] = {
        {"", {}},
        {"0483:df11", {"0483:df11"}},
        {"0483:df11,1234:ABCD", {"0483:df11", "1234:ABCD"}},
    };
    for (const Case& c : cases) {
        sim.set("DFU_SIM_DEVICES", c.units);
        EXPECT_EQ(runDfuListing(DfuSimEnvironment::toolPath()), c.listed) << c.units.toStdString();
    }
    EXPECT_EQ(sim.runs().last(), QStringList({"-l", "-a0"}));
}

TEST(DfuListingTool, ListingToolThatHangsIsBoundedAndGivesNothing)
{
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_DEVICES", "0483:df11");
    sim.set("DFU_SIM_LIST_FAULT", "hang");
    EXPECT_TRUE(runDfuListing(DfuSimEnvironment::toolPath(), 1000).isEmpty());
}
