#include "DfuSimEnvironment.h"
#include "TempResources.h"
#include "UnitFinder.h"
#include "VirtualPorts.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const std::map<QString, VidPid> kProducts{{"Sensor", {0x1209, 0x4c55}}, {"Probe", {0x10c4, 0xea60}}};

// Units are plain files announced as virtual ports.
class UnitFinderTest : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv(VirtualPorts::kEnvironmentVariable); }

    void announce(const QList<std::pair<QString, QString>>& units)
    {
        QStringList entries;
        for (const auto& [name, ids] : units) {
            resources.writeFile(name, "unit");
            entries << resources.filePath(name) + "=" + ids;
        }
        qputenv(VirtualPorts::kEnvironmentVariable, entries.join(';').toUtf8());
    }

    QStringList portsFound(const QString& only = QString()) const
    {
        UnitFinder finder(InterfaceType::McubootSerial, QString(), kProducts);
        finder.restrictToPort(only);
        QStringList ports;
        for (const FoundUnit& unit : finder.find())
            ports << unit.port;
        return ports;
    }

    TempResources resources;
};

TEST_F(UnitFinderTest, KnownIdentifiersAreUnitsWithTheirProductName)
{
    announce({{"a", "1209:4c55"}, {"b", "dead:beef"}, {"c", "10C4:EA60"}});
    UnitFinder finder(InterfaceType::McubootSerial, QString(), kProducts);
    const QList<FoundUnit> units = finder.find();
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0].port, resources.filePath("a"));
    EXPECT_EQ(units[0].product, "Sensor");
    EXPECT_EQ(units[0].idsText(), "1209:4c55");
    EXPECT_EQ(units[1].product, "Probe");
    EXPECT_EQ(units[1].idsText(), "10c4:ea60");
}

struct PortCase {
    const char* name;
    const char* given;  // in the units' folder
    QStringList found;
};

class UnitFinderPort : public UnitFinderTest, public ::testing::WithParamInterface<PortCase> {};

// --port names one unit by its path, by a link to it, or not at all.
TEST_P(UnitFinderPort, OnlyTheNamedPortCounts)
{
    announce({{"a", "1209:4c55"}, {"b", "1209:4c55"}});
    QFile::link(resources.filePath("b"), resources.filePath("link-to-b"));
    const QString given = resources.filePath(GetParam().given);
    QStringList expected;
    for (const QString& name : GetParam().found)
        expected << resources.filePath(name);
    EXPECT_EQ(portsFound(given), expected);
}

INSTANTIATE_TEST_SUITE_P(Ports, UnitFinderPort,
                         ::testing::Values(PortCase{"by_path", "a", {"a"}},
                                           PortCase{"through_a_link", "link-to-b", {"b"}},
                                           PortCase{"not_a_unit", "elsewhere", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UnitFinderTest, WithoutARestrictionEveryUnitCounts)
{
    announce({{"a", "1209:4c55"}, {"b", "1209:4c55"}});
    EXPECT_EQ(portsFound(), (QStringList{resources.filePath("a"), resources.filePath("b")}));
}

struct DfuPathCase {
    const char* name;
    QString given;
    QStringList found;
};

class UnitFinderDfuPath : public ::testing::TestWithParam<DfuPathCase> {};

// In USB mode a DFU unit is named by the exact USB path of the listing; a
// foreign device at that path is no unit.
TEST_P(UnitFinderDfuPath, OnlyTheUnitAtTheNamedPathCounts)
{
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_DEVICES", "0483:df11,0483:df11,dead:beef");
    UnitFinder finder(InterfaceType::Usb, DfuSimEnvironment::toolPath(), {{"STM32 DFU", {0x0483, 0xdf11}}});
    finder.restrictToPort(GetParam().given);
    QStringList paths;
    for (const FoundUnit& unit : finder.find())
        paths << unit.port;
    EXPECT_EQ(paths, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnitFinderDfuPath,
                         ::testing::Values(DfuPathCase{"any", "", {"1-1", "1-2"}},
                                           DfuPathCase{"second_unit", "1-2", {"1-2"}},
                                           DfuPathCase{"foreign_device", "1-3", {}},
                                           DfuPathCase{"no_such_path", "1-9", {}},
                                           DfuPathCase{"part_of_a_path", "1", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
