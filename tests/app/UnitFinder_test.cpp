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

} // namespace
