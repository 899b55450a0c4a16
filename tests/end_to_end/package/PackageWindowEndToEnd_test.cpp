#include "MainWindow.h"
#include "McubootSerialUpdater.h"
#include "RawZip.h"
#include "McubootImageBuilder.h"
#include "ReleaseKit.h"
#include "Stm32ImageBuilder.h"
#include "TempResources.h"
#include "TrailerFlag.h"
#include "UartFirmwareUpdater.h"
#include "UnitSimulator.h"
#include "VirtualPorts.h"
#include "WaitUntil.h"
#include "WindowProbe.h"
#include "WindowTexts.h"
#include "ZipArchiveReader.h"

#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr const char* kUnitIds = "1209:4c55";

struct BackendCase {
    const char* name;
    InterfaceType interfaceType;
};

// The real window on a package as firmware_filename, with the real back-end
// and a simulated unit; packages made by the real CLI with a trusted key.
class PackageWindow : public ::testing::TestWithParam<BackendCase> {
protected:
    void TearDown() override
    {
        window.reset();
        qunsetenv(VirtualPorts::kEnvironmentVariable);
    }

    bool isUart() const { return GetParam().interfaceType == InterfaceType::Uart; }

    // Writes the image, packs it with `models`, and starts the window on the
    // package (after `change` had its way with the package's bytes).
    void start(const QString& models, const std::function<void(QByteArray&)>& change = {})
    {
        const QString ini = isUart() ? "interface=uart\nprogramming_address=0x08000000\n"
                                     : "interface=mcuboot_serial\n";
        resources = std::make_unique<TempResources>(
            ini + QStringLiteral("firmware_filename=app.fwpkg\nproduct_list=Unit:%1\ndevice_id_list=7, 12\n").arg(kUnitIds));
        kit.trustIn(resources->path());
        resources->writeFile("app.bin", image);
        QStringList options{"--version", "5.1", "--models", models, "--interface", isUart() ? "uart" : "mcuboot_serial"};
        if (isUart())
            options << "--programming-address" << "0x08000000";
        QFile made(kit.create(resources->filePath("app.bin"), options, "app.fwpkg"));
        ASSERT_TRUE(made.open(QIODevice::ReadOnly));
        QByteArray package = made.readAll();
        if (change)
            change(package);
        resources->writeFile("app.fwpkg", package);
        const QString firmware = resources->filePath("app.fwpkg");
        FirmwareUpdaterBase* updater =
            isUart() ? static_cast<FirmwareUpdaterBase*>(new UartFirmwareUpdater(
                           firmware, 0x08000000, 0x08000000, 0x1FFF7000, 512, 0x0807F800, "application", nullptr))
                     : new McubootSerialUpdater(firmware, 921600, false, QString(), nullptr);
        window = std::make_unique<MainWindow>(resources->dir(), &resources->settings(),
                                              resources->filePath("dfu-util-static"), GetParam().interfaceType, updater);
        probe = std::make_unique<WindowProbe>(*window);
        window->show();
    }

    std::unique_ptr<UnitSimulator> plug()
    {
        QStringList arguments{"--model-id", "7"};
        if (isUart())
            arguments << "--mode" << "stm32";
        auto unit = std::make_unique<UnitSimulator>(arguments);
        qputenv(VirtualPorts::kEnvironmentVariable, (unit->path() + "=" + kUnitIds).toUtf8());
        return unit;
    }

    bool holdsImage(UnitSimulator& unit) const
    {
        return isUart() ? unit.image().left(image.size()) == withTrailerFlag(image) : unit.image() == image;
    }

    bool waitForButton(const QString& text, bool enabled, int timeoutMs = 15000)
    {
        return waitUntil([&] { return probe->buttonText() == text && probe->buttonEnabled() == enabled; }, timeoutMs);
    }

    ReleaseKit kit;
    QByteArray image = isUart() ? Stm32ImageBuilder().size(6 * 1024).build()
                                : McubootImageBuilder::imageOfSize(6 * 1024);
    std::unique_ptr<TempResources> resources;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

TEST_P(PackageWindow, AGoodPackageUpdatesTheUnit)
{
    start("5,7");
    const auto unit = plug();
    ASSERT_TRUE(waitForButton("UPDATE", true));

    probe->button()->click();

    ASSERT_TRUE(waitForButton("DONE", false, 30000));
    EXPECT_TRUE(holdsImage(*unit));
}

// The package's image changed after signing: the click ends in the failure
// state and the unit sees nothing more than it saw before the click.
TEST_P(PackageWindow, ARefusedPackageFailsAtTheClickAndLeavesTheUnitAlone)
{
    start("5,7", [](QByteArray& package) {
        QString error;
        const std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(package, error);
        ASSERT_TRUE(archive) << error.toStdString();
        QList<std::pair<QByteArray, QByteArray>> entries;
        for (const ZipArchiveReader::Entry& entry : archive->entries())
            entries.append({entry.name, *archive->read(QString::fromUtf8(entry.name), 1 << 20, error)});
        entries[1].second[10] = static_cast<char>(entries[1].second[10] ^ 0x01);
        package = rawZip(entries);
    });
    const auto unit = plug();
    ASSERT_TRUE(waitForButton("UPDATE", true));
    const QString before = unit->log();

    probe->button()->click();

    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATING");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_EQ(unit->log(), before);
    EXPECT_TRUE(unit->image().isEmpty() || !holdsImage(*unit));
}

// Model 7 is in device_id_list but not in the package: the unit is rejected.
TEST_P(PackageWindow, AUnitOutsideThePackageModelsIsRejected)
{
    start("12");
    const auto unit = plug();

    ASSERT_TRUE(waitUntil([&] { return probe->progressFormat() == kWindowErrorText; }, 10000));
    EXPECT_EQ(probe->buttonText(), "UPDATE");
    EXPECT_FALSE(probe->buttonEnabled());
    EXPECT_FALSE(holdsImage(*unit));
}

INSTANTIATE_TEST_SUITE_P(Backends, PackageWindow,
                         ::testing::Values(BackendCase{"mcuboot", InterfaceType::McubootSerial},
                                           BackendCase{"uart", InterfaceType::Uart}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
