#include "DfuSimEnvironment.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct SelectionCase {
    const char* name;
    QByteArray devices;
    QStringList unitArguments; // -d and -p as given
    int exitCode;
    const char* error;         // in standard error, or "" for a transfer that ran
    const char* receivedBy;    // the path whose copy holds the image
};

class DfuSimUnitSelection : public ::testing::TestWithParam<SelectionCase> {};

// Like dfu-util, a download goes to exactly one unit: the only one with the
// identifiers, or the one at the -p path; anything else is refused unwritten.
TEST_P(DfuSimUnitSelection, DownloadGoesToExactlyOneUnit)
{
    const SelectionCase& c = GetParam();
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_DEVICES", c.devices);
    sim.set("DFU_SIM_DOWNLOAD_MS", "0");
    sim.set("DFU_SIM_ERASE_MS", "0");
    sim.set("DFU_SIM_DOWNLOAD_COPY", sim.filePath("copy-{path}.bin").toLocal8Bit());
    QFile image(sim.filePath("image.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(4096, '\x42'));
    image.close();

    QProcess tool;
    tool.start(DfuSimEnvironment::toolPath(),
               c.unitArguments + QStringList{"-a", "0", "-s", "0x08000000:leave", "-D", image.fileName()});
    ASSERT_TRUE(tool.waitForFinished(10000));

    EXPECT_EQ(tool.exitCode(), c.exitCode);
    EXPECT_TRUE(QString::fromUtf8(tool.readAllStandardError()).contains(QString::fromLatin1(c.error)));
    for (const char* path : {"1-1", "1-2", "1-3"}) {
        const bool received = QFile::exists(sim.filePath(QStringLiteral("copy-%1.bin").arg(path)));
        EXPECT_EQ(received, QByteArray(path) == c.receivedBy) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, DfuSimUnitSelection,
    ::testing::Values(
        SelectionCase{"none_listed_is_one_unit", "", {"-d", "0483:df11"}, 0, "", "1-1"},
        SelectionCase{"the_only_unit", "0483:df11", {"-d", "0483:df11"}, 0, "", "1-1"},
        SelectionCase{"only_one_with_the_identifiers", "1234:5678,0483:DF11", {"-d", "0483:df11"}, 0, "", "1-2"},
        SelectionCase{"several_without_a_path", "0483:df11,0483:df11", {"-d", "0483:df11"}, 74,
                      "More than one DFU capable USB device found!", ""},
        SelectionCase{"several_with_a_path", "0483:df11,0483:df11", {"-d", "0483:df11", "-p", "1-2"}, 0, "", "1-2"},
        SelectionCase{"path_of_another_device", "0483:df11,1234:5678", {"-d", "0483:df11", "-p", "1-2"}, 74,
                      "No DFU capable USB device available", ""},
        SelectionCase{"path_of_nothing", "0483:df11", {"-d", "0483:df11", "--path", "1-3"}, 74,
                      "No DFU capable USB device available", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Settings given per unit: the model identifier that the OTP read returns.
TEST(DfuSimPerUnitSettings, EachUnitAnswersWithItsOwnModel)
{
    DfuSimEnvironment sim;
    sim.set("DFU_SIM_DEVICES", "0483:df11,0483:df11");
    sim.set("DFU_SIM_MODEL_ID", "7,99");
    for (const auto& [path, model] : {std::pair{"1-1", 7}, std::pair{"1-2", 99}}) {
        const QString otp = sim.filePath(QStringLiteral("otp-%1.bin").arg(path));
        QProcess tool;
        tool.start(DfuSimEnvironment::toolPath(),
                   {"-d", "0483:df11", "-p", path, "-a", "2", "-s", "0x1fff7000:512", "-U", otp});
        ASSERT_TRUE(tool.waitForFinished(10000));
        ASSERT_EQ(tool.exitCode(), 0) << path;
        QFile file(otp);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_EQ(bytes.size(), 512);
        // The record sits in entry 31: the key's bytes, then the model.
        EXPECT_EQ(bytes.mid(31 * 16, 5), QByteArray("\x11\x47\x23\x01", 4) + char(model)) << path;
    }
}

} // namespace
