#include "ImageAdmission.h"
#include "PackageWriter.h"
#include "SigningKey.h"
#include "TempResources.h"

#include <QDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QByteArray kImage = QByteArray(2048, '\x5a') + "end";

struct Release {
    SigningKey key;
    QString name;
};

Release makeRelease(const QString& name)
{
    QString error;
    return Release{*SigningKey::generate(error), name};
}

PackageManifest manifestFor(const QString& interfaceName, std::optional<std::uint32_t> address)
{
    PackageManifest manifest;
    manifest.version = QStringLiteral("3.0.1");
    manifest.interfaceName = interfaceName;
    manifest.models = {5, 7};
    manifest.image = QStringLiteral("app.bin");
    manifest.programmingAddress = address;
    manifest.created = QDateTime::currentDateTimeUtc();
    return manifest;
}

QByteArray packageOf(const PackageManifest& manifest, const Release& release)
{
    QString error;
    return PackageWriter::write(manifest, kImage, release.key, error).value_or(QByteArray());
}

// A UART configuration at 0x08000000 that trusts the key "release".
class ImageAdmissionTest : public ::testing::Test {
protected:
    ImageAdmissionTest()
    {
        config.interfaceType = InterfaceType::Uart;
        config.programmingAddress = 0x08000000;
        config.trustedKeysFolder = resources.filePath("keys");
        QDir().mkpath(config.trustedKeysFolder);
        QString error;
        EXPECT_TRUE(release.key.save(resources.filePath("keys/release"), error)) << error.toStdString();
    }

    std::optional<AdmittedImage> admit(const QString& path, const QByteArray& bytes)
    {
        reason.clear();
        return ImageAdmission(config).admit(path, bytes, reason);
    }

    TempResources resources{QString()};
    StartupConfig config;
    Release release = makeRelease("release");
    QString reason;
};

TEST_F(ImageAdmissionTest, APlainImageIsWrittenAsItIsByDefault)
{
    const std::optional<AdmittedImage> admitted = admit("/r/firmware.bin", kImage);

    ASSERT_TRUE(admitted);
    EXPECT_EQ(admitted->bytes, kImage);
    EXPECT_FALSE(admitted->package);
    EXPECT_EQ(admitted->version(), QString());
}

TEST_F(ImageAdmissionTest, APlainImageIsRefusedWhenOnlyPackagesAreAllowed)
{
    config.requireSignedPackage = true;

    EXPECT_FALSE(admit("/r/firmware.bin", kImage));
    EXPECT_EQ(reason, "firmware image \"firmware.bin\" is not a signed package, and require_signed_package is true");
}

TEST_F(ImageAdmissionTest, APackageThatFitsGivesItsImage)
{
    config.requireSignedPackage = true;
    const std::optional<AdmittedImage> admitted =
        admit("/r/app.fwpkg", packageOf(manifestFor("uart", 0x08000000), release));

    ASSERT_TRUE(admitted) << reason.toStdString();
    EXPECT_EQ(admitted->bytes, kImage);
    EXPECT_EQ(admitted->version(), "3.0.1");
    EXPECT_EQ(admitted->package->keyName, "release");
}

struct RefusalCase {
    const char* name;
    std::function<QByteArray(const Release& trusted)> package;
    const char* reason;
};

class PackageRefusal : public ImageAdmissionTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PackageRefusal, NamesTheFileAndWhy)
{
    EXPECT_FALSE(admit("/r/app.fwpkg", GetParam().package(release)));
    EXPECT_EQ(reason, QString("package \"app.fwpkg\" is refused: ") + GetParam().reason);
}

const RefusalCase kRefusals[] = {
    {"other_interface", [](const Release& r) { return packageOf(manifestFor("usb", 0x08000000), r); },
     "it is for the interface usb, the configuration uses uart"},
    {"mcuboot_package", [](const Release& r) { return packageOf(manifestFor("mcuboot_serial", {}), r); },
     "it is for the interface mcuboot_serial, the configuration uses uart"},
    {"other_address", [](const Release& r) { return packageOf(manifestFor("uart", 0x08004000), r); },
     "it is for the programming address 0x08004000, the configuration has 0x08000000"},
    {"untrusted_key", [](const Release&) { return packageOf(manifestFor("uart", 0x08000000), makeRelease("x")); },
     "the package's signature does not verify with any trusted key (release)"},
    {"not_an_archive", [](const Release&) { return kImage; },
     "the package is not a readable ZIP archive (Not a zip archive)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PackageRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageAdmissionTest, APackageWithoutAddressFitsAnyAddress)
{
    EXPECT_TRUE(admit("/r/app.fwpkg", packageOf(manifestFor("uart", {}), release))) << reason.toStdString();
}

TEST_F(ImageAdmissionTest, ZipBytesUnderAnotherNameAreStillReadAsAPackage)
{
    EXPECT_TRUE(admit("/r/firmware.bin", packageOf(manifestFor("uart", {}), release))) << reason.toStdString();
    const std::optional<AdmittedImage> admitted = admit("/r/firmware.bin", packageOf(manifestFor("usb", {}), release));
    EXPECT_FALSE(admitted);
}

TEST(AcceptedModels, AreThoseBothTheConfigurationAndThePackageName)
{
    AdmittedImage plain{kImage, std::nullopt};
    AdmittedImage packaged{kImage, FirmwarePackage{manifestFor("uart", {}), kImage, "release"}};

    EXPECT_EQ(ImageAdmission::acceptedModels({7, 12}, plain), (QList<uint8_t>{7, 12}));
    EXPECT_EQ(ImageAdmission::acceptedModels({12, 7, 5, 7}, packaged), (QList<uint8_t>{7, 5}));
    EXPECT_EQ(ImageAdmission::acceptedModels({12}, packaged), QList<uint8_t>());
}

TEST(RequireSignedPackage, IsOffUnlessTheFileSaysTrue)
{
    for (const auto& [line, expected] : std::initializer_list<std::pair<QString, bool>>{
             {"", false}, {"require_signed_package=false\n", false}, {"require_signed_package=true\n", true},
             {"require_signed_package= True \n", true}, {"require_signed_package=1\n", true}}) {
        TempResources resources(line);
        EXPECT_EQ(StartupConfig::read(resources.settings(), resources.dir()).requireSignedPackage, expected)
            << line.toStdString();
    }
}

} // namespace
