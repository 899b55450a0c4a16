#include "PackageLimits.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "RawZip.h"
#include "SigningKey.h"

#include <QCryptographicHash>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Entries = QList<std::pair<QByteArray, QByteArray>>;

QByteArray testImage()
{
    QByteArray image(4096, '\0');
    for (qsizetype at = 0; at < image.size(); ++at)
        image[at] = static_cast<char>((at * 37 + 11) & 0xFF);
    return image;
}

PackageManifest uartManifest(const QByteArray& image)
{
    PackageManifest manifest;
    manifest.product = QStringLiteral("Lumavex Sensor");
    manifest.version = QStringLiteral("2.1.0");
    manifest.interfaceName = QStringLiteral("uart");
    manifest.models = {5, 7};
    manifest.image = QStringLiteral("app.bin");
    manifest.size = image.size();
    manifest.sha256 = QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    manifest.programmingAddress = 0x08000000;
    manifest.created = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
    return manifest;
}

class PackageReaderTest : public ::testing::Test {
public:
    PackageReaderTest()
    {
        QString error;
        key = *SigningKey::generate(error);
        other = *SigningKey::generate(error);
        trusted.add(QStringLiteral("release-2024"), key.publicKey());
    }

    // manifest.json, the image and a signature over the manifest, as listed.
    Entries signedEntries(const QByteArray& manifestJson, const QByteArray& image, const SigningKey& signer) const
    {
        return {{"manifest.json", manifestJson}, {"app.bin", image}, {"manifest.sig", signer.sign(manifestJson)}};
    }

    PackageVerdict read(const QByteArray& archive) const { return PackageReader(trusted).read(archive); }

    SigningKey key;
    SigningKey other;
    TrustedKeys trusted;
    QByteArray image = testImage();
    QByteArray manifestJson = uartManifest(image).toJson();
};

TEST_F(PackageReaderTest, AcceptsAPackageItsWriterMade)
{
    QString error;
    const std::optional<QByteArray> archive = PackageWriter::write(uartManifest(image), image, key, error);
    ASSERT_TRUE(archive) << error.toStdString();

    const PackageVerdict verdict = read(*archive);

    ASSERT_TRUE(verdict.isValid()) << verdict.reason.toStdString();
    EXPECT_EQ(verdict.package->image, image);
    EXPECT_EQ(verdict.package->keyName, QStringLiteral("release-2024"));
    EXPECT_EQ(verdict.package->manifest.version, QStringLiteral("2.1.0"));
    EXPECT_EQ(verdict.package->manifest.models, (QList<uint8_t>{5, 7}));
    EXPECT_EQ(verdict.package->manifest.programmingAddress, 0x08000000u);
}

TEST_F(PackageReaderTest, AcceptsExtraPlainFilesBesideThePackage)
{
    Entries entries = signedEntries(manifestJson, image, key);
    entries.emplaceBack("README.txt", "release notes");
    EXPECT_TRUE(read(rawZip(entries)).isValid());
}

// Every archive the reader must refuse, with the words its reason must hold.
class HostileArchive : public PackageReaderTest, public ::testing::WithParamInterface<int> {
public:
    // The good package's entries, changed.
    QByteArray zipWith(const std::function<void(Entries&)>& change) const
    {
        Entries entries = signedEntries(manifestJson, image, key);
        change(entries);
        return rawZip(entries);
    }
};

struct HostileCase {
    const char* name;
    std::function<QByteArray(const HostileArchive&)> archive;
    const char* reason;
};

const QList<HostileCase>& hostileCases()
{
    static const QList<HostileCase> cases{
        {"dot_dot_slash_name",
         [](const HostileArchive& t) {
             return t.zipWith([](Entries& e) { e.emplaceBack("../evil.sh", "x"); });
         },
         "\"../evil.sh\", which is not a plain file name"},
        {"folder_name",
         [](const HostileArchive& t) {
             return t.zipWith([](Entries& e) { e.emplaceBack("dir/evil", "x"); });
         },
         "not a plain file name"},
        {"backslash_name",
         [](const HostileArchive& t) {
             return t.zipWith([](Entries& e) { e.emplaceBack("dir\\evil", "x"); });
         },
         "not a plain file name"},
        {"nine_entries",
         [](const HostileArchive& t) {
             return t.zipWith([](Entries& e) {
                 for (int extra = 0; extra < 6; ++extra)
                     e.emplaceBack(QByteArray("extra") + QByteArray::number(extra), "x");
             });
         },
         "holds 9 files, more than the 8"},
        {"oversize_manifest",
         [](const HostileArchive& t) {
             const QByteArray huge = t.manifestJson.left(t.manifestJson.size() - 2) + QByteArray(70000, ' ') + "}\n";
             return rawZip({{"manifest.json", huge}, {"app.bin", t.image}, {"manifest.sig", t.key.sign(huge)}});
         },
         "more than the 65536"},
        {"truncated_archive",
         [](const HostileArchive& t) {
             const QByteArray whole = t.zipWith([](Entries&) {});
             return whole.left(whole.size() - 30);
         },
         "not a readable ZIP archive"},
        {"not_an_archive", [](const HostileArchive& t) { return t.image; }, "not a readable ZIP archive"},
        {"no_signature",
         [](const HostileArchive& t) {
             return rawZip({{"manifest.json", t.manifestJson}, {"app.bin", t.image}});
         },
         "not signed"},
        {"no_manifest",
         [](const HostileArchive& t) {
             return rawZip({{"app.bin", t.image}, {"manifest.sig", t.key.sign(t.manifestJson)}});
         },
         "holds no manifest.json"},
        {"manifest_byte_changed",
         [](const HostileArchive& t) {
             QByteArray changed = t.manifestJson;
             changed.replace("2.1.0", "2.1.1");
             return rawZip({{"manifest.json", changed}, {"app.bin", t.image}, {"manifest.sig", t.key.sign(t.manifestJson)}});
         },
         "signature does not verify with any trusted key (release-2024)"},
        {"signed_by_an_unknown_key",
         [](const HostileArchive& t) { return rawZip(t.signedEntries(t.manifestJson, t.image, t.other)); },
         "signature does not verify"},
        {"image_byte_changed",
         [](const HostileArchive& t) {
             QByteArray changed = t.image;
             changed[100] = static_cast<char>(changed[100] ^ 0x01);
             return rawZip(t.signedEntries(t.manifestJson, changed, t.key));
         },
         "has the SHA-256"},
        {"image_longer_than_manifest_says",
         [](const HostileArchive& t) { return rawZip(t.signedEntries(t.manifestJson, t.image + "!", t.key)); },
         "is 4097 bytes, the manifest says 4096"},
        {"image_missing",
         [](const HostileArchive& t) {
             return rawZip({{"manifest.json", t.manifestJson}, {"manifest.sig", t.key.sign(t.manifestJson)}});
         },
         "holds no image \"app.bin\""},
        {"signed_manifest_that_is_not_json",
         [](const HostileArchive& t) { return rawZip(t.signedEntries("not json", t.image, t.key)); },
         "not a JSON object"},
        {"duplicate_manifest",
         [](const HostileArchive& t) {
             // libzip will not store two equal names, so the second name is patched in afterwards.
             QByteArray bytes = t.zipWith(
                 [](Entries& e) { e.emplaceBack("manifest.jsoX", "{}"); });
             bytes.replace("manifest.jsoX", "manifest.json");
             return bytes;
         },
         "not a readable ZIP archive (File already exists)"},
    };
    return cases;
}

TEST_P(HostileArchive, IsRefusedWithItsReason)
{
    const HostileCase& hostile = hostileCases().at(GetParam());
    const PackageVerdict verdict = read(hostile.archive(*this));

    EXPECT_FALSE(verdict.isValid()) << hostile.name;
    EXPECT_TRUE(verdict.reason.contains(QString::fromUtf8(hostile.reason)))
        << hostile.name << ": " << verdict.reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileArchive, ::testing::Range(0, static_cast<int>(hostileCases().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(hostileCases().at(info.param).name);
                         });

TEST_F(PackageReaderTest, WithoutTrustedKeysNothingIsAccepted)
{
    const PackageVerdict verdict = PackageReader(TrustedKeys()).read(rawZip(signedEntries(manifestJson, image, key)));

    EXPECT_FALSE(verdict.isValid());
    EXPECT_TRUE(verdict.reason.contains(QStringLiteral("Resources/keys"))) << verdict.reason.toStdString();
}

TEST(PackageSniffing, ZipBytesLookLikeAPackage)
{
    EXPECT_TRUE(PackageReader::looksLikePackage(rawZip({{"a", "b"}})));
    EXPECT_FALSE(PackageReader::looksLikePackage(QByteArray::fromHex("3db8f396")));
    EXPECT_FALSE(PackageReader::looksLikePackage(QByteArray()));
}

} // namespace
