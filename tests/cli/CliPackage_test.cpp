#include "CliProcess.h"
#include "RawZip.h"
#include "ReleaseKit.h"
#include "Stm32ImageBuilder.h"
#include "TempResources.h"
#include "WindowTexts.h"
#include "ZipArchiveReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Entries = QList<std::pair<QByteArray, QByteArray>>;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The entries of a package, to be changed and zipped again.
Entries entriesOf(const QString& packagePath)
{
    const QByteArray bytes = readFile(packagePath);
    QString error;
    const std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(bytes, error);
    EXPECT_TRUE(archive) << error.toStdString();
    Entries entries;
    for (const ZipArchiveReader::Entry& entry : archive->entries())
        entries.append({entry.name, *archive->read(QString::fromUtf8(entry.name), 1 << 20, error)});
    return entries;
}

class CliPackage : public ::testing::Test {
protected:
    CliPackage()
    {
        resources.writeFile("app.bin", image);
        kit.trustIn(resources.path());
    }

    QString goodPackage() const
    {
        return kit.create(resources.filePath("app.bin"),
                          {"--version", "2.3.1", "--models", "5,7", "--interface", "uart", "--product",
                           "Lumavex Sensor", "--programming-address", "0x08000000", "--notes", "watchdog fix"},
                          "good.fwpkg");
    }
    ReleaseKit::Run verify(const QString& package) const
    {
        return ReleaseKit::cli({"package", "verify", package, "--resources", resources.path(), "--json"});
    }

    ReleaseKit kit;
    TempResources resources{QString()};
    QByteArray image = Stm32ImageBuilder().size(8192).build();
};

TEST_F(CliPackage, KeygenWritesAPrivateKeyOnlyItsOwnerReadsAndNeverReplacesIt)
{
    const QByteArray before = readFile(kit.privateKey());

    const ReleaseKit::Run again = ReleaseKit::cli({"package", "keygen", "--out", kit.path("release")});

    EXPECT_EQ(QFile::permissions(kit.privateKey()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                      QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    EXPECT_TRUE(readFile(kit.publicKey()).startsWith("fwupdater ed25519 public key\n"));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_TRUE(again.err.contains("exists already")) << again.err.toStdString();
    EXPECT_EQ(readFile(kit.privateKey()), before);
}

TEST_F(CliPackage, VerifyShowsWhatAPackageHoldsAndWhoSignedIt)
{
    const ReleaseKit::Run run = verify(goodPackage());

    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject event = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(event["event"], "package");
    EXPECT_EQ(event["valid"], true);
    EXPECT_EQ(event["product"], "Lumavex Sensor");
    EXPECT_EQ(event["version"], "2.3.1");
    EXPECT_EQ(event["interface"], "uart");
    EXPECT_EQ(event["models"].toArray(), (QJsonArray{5, 7}));
    EXPECT_EQ(event["image"], "app.bin");
    EXPECT_EQ(event["size"], image.size());
    EXPECT_EQ(event["sha256"], QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(event["programming_address"], "0x08000000");
    EXPECT_EQ(event["notes"], "watchdog fix");
    EXPECT_EQ(event["key"], "release");
    EXPECT_TRUE(event["created"].toString().endsWith('Z'));
    // The archive is a plain ZIP any unzip tool opens: the image is stored as it is.
    const Entries entries = entriesOf(kit.path("good.fwpkg"));
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries.at(1), (std::pair<QByteArray, QByteArray>("app.bin", image)));
}

struct Tampering {
    const char* name;
    std::function<QByteArray(const Entries& good, const ReleaseKit& kit, const QString& imagePath)> package;
    const char* reason;
};

class CliPackageRefused : public CliPackage, public ::testing::WithParamInterface<Tampering> {};

TEST_P(CliPackageRefused, VerifySaysWhyWithExitCode2)
{
    const QString tampered = kit.path("tampered.fwpkg");
    writeFile(tampered, GetParam().package(entriesOf(goodPackage()), kit, resources.filePath("app.bin")));

    const ReleaseKit::Run run = verify(tampered);

    EXPECT_EQ(run.exitCode, 2) << GetParam().name;
    const QJsonObject event = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(event["valid"], false);
    EXPECT_TRUE(event["reason"].toString().contains(GetParam().reason)) << event["reason"].toString().toStdString();
    EXPECT_TRUE(run.err.contains(GetParam().reason)) << run.err.toStdString();
}

Entries changed(Entries entries, const QByteArray& name, const std::function<void(QByteArray&)>& change)
{
    for (auto& [entryName, content] : entries)
        if (entryName == name)
            change(content);
    return entries;
}

const Tampering kTamperings[] = {
    {"image_byte_changed",
     [](const Entries& good, const ReleaseKit&, const QString&) {
         return rawZip(changed(good, "app.bin", [](QByteArray& image) { image[4000] = static_cast<char>(image[4000] ^ 0x80); }));
     },
     "has the SHA-256"},
    {"manifest_byte_changed",
     [](const Entries& good, const ReleaseKit&, const QString&) {
         return rawZip(changed(good, "manifest.json", [](QByteArray& json) { json.replace("2.3.1", "2.3.2"); }));
     },
     "signature does not verify with any trusted key (release)"},
    {"signed_by_a_key_not_in_resources",
     [](const Entries&, const ReleaseKit& kit, const QString& imagePath) {
         kit.makeKey("stranger");
         return readFile(kit.create(imagePath, {"--version", "2.3.1", "--models", "5,7", "--interface", "uart"},
                                    "stranger.fwpkg", "stranger"));
     },
     "signature does not verify"},
    {"dot_dot_entry",
     [](const Entries& good, const ReleaseKit&, const QString&) {
         Entries entries = good;
         entries.emplaceBack("../../autorun.sh", "echo");
         return rawZip(entries);
     },
     "\"../../autorun.sh\", which is not a plain file name"},
    {"truncated",
     [](const Entries& good, const ReleaseKit&, const QString&) { return rawZip(good).chopped(100); },
     "not a readable ZIP archive"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliPackageRefused, ::testing::ValuesIn(kTamperings),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadCreate {
    const char* name;
    QStringList options;
    const char* reason;
};

class CliPackageCreateRefused : public CliPackage, public ::testing::WithParamInterface<BadCreate> {};

TEST_P(CliPackageCreateRefused, WritesNoPackage)
{
    resources.writeFile("empty.bin", QByteArray());
    resources.writeFile("app..bin", image);
    QStringList arguments{"package", "create", "--key", kit.privateKey(), "--out", kit.path("out.fwpkg")};
    for (QString option : GetParam().options)
        arguments << option.replace("RES/", resources.path() + '/').replace("KIT/", kit.path(QString()));

    const ReleaseKit::Run run = ReleaseKit::cli(arguments);

    EXPECT_EQ(run.exitCode, 2) << GetParam().name;
    EXPECT_TRUE(run.err.contains(GetParam().reason)) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(kit.path("out.fwpkg")));
}

const QStringList kGoodCreate{"--image", "RES/app.bin", "--version", "1.0", "--models", "7", "--interface", "usb"};

QStringList withOption(const QString& option, const QString& value)
{
    QStringList options = kGoodCreate;
    const qsizetype at = options.indexOf(option);
    if (at < 0)
        options << option << value;
    else if (value.isNull())
        options.remove(at, 2);
    else
        options[at + 1] = value;
    return options;
}

const BadCreate kBadCreates[] = {
    {"models_out_of_range", withOption("--models", "5,300"), "--models needs model identifiers 0 to 255"},
    {"models_empty", withOption("--models", ""), "needs --models"},
    {"interface_upper_case", withOption("--interface", "USB"), "--interface needs mcuboot_serial, uart or usb"},
    {"no_version", withOption("--version", QString()), "needs --version"},
    {"no_image", withOption("--image", QString()), "needs --image"},
    {"address_not_a_number", withOption("--programming-address", "flash"), "--programming-address needs"},
    {"address_for_mcuboot",
     withOption("--interface", "mcuboot_serial") + QStringList{"--programming-address", "0x08000000"},
     "programming address for mcuboot_serial"},
    {"image_missing", withOption("--image", "RES/nothing.bin"), "Cannot read the firmware image"},
    {"image_empty", withOption("--image", "RES/empty.bin"), "is empty"},
    {"image_name_with_dots", withOption("--image", "RES/app..bin"), "not a plain file name"},
    {"public_key_to_sign", kGoodCreate + QStringList{"--key", "KIT/release.pub"}, "private key"},
    {"option_of_verify", kGoodCreate + QStringList{"--resources", "RES/"}, "takes no --resources"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliPackageCreateRefused, ::testing::ValuesIn(kBadCreates),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
