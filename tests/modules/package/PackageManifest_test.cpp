#include "PackageManifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

namespace {

QJsonObject goodManifest()
{
    return QJsonObject{{"format", 1},
                       {"product", "Lumavex Sensor"},
                       {"version", "1.4.2"},
                       {"interface", "usb"},
                       {"models", QJsonArray{5, 7}},
                       {"image", "app.bin"},
                       {"size", 262144},
                       {"sha256", QString(64, QLatin1Char('a'))},
                       {"programming_address", "0x08004000"},
                       {"created", "2024-05-01T12:00:00Z"},
                       {"notes", "fixes the watchdog"}};
}

std::optional<PackageManifest> parsed(const QJsonObject& object, QString& error)
{
    return PackageManifest::parse(QJsonDocument(object).toJson(), error);
}

TEST(PackageManifest, ReadsEveryField)
{
    QString error;
    const std::optional<PackageManifest> manifest = parsed(goodManifest(), error);

    ASSERT_TRUE(manifest) << error.toStdString();
    EXPECT_EQ(manifest->product, QStringLiteral("Lumavex Sensor"));
    EXPECT_EQ(manifest->version, QStringLiteral("1.4.2"));
    EXPECT_EQ(manifest->interfaceName, QStringLiteral("usb"));
    EXPECT_EQ(manifest->models, (QList<uint8_t>{5, 7}));
    EXPECT_EQ(manifest->image, QStringLiteral("app.bin"));
    EXPECT_EQ(manifest->size, 262144);
    EXPECT_EQ(manifest->programmingAddress, 0x08004000u);
    EXPECT_EQ(manifest->created, QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(manifest->notes, QStringLiteral("fixes the watchdog"));
}

TEST(PackageManifest, WritesWhatItReads)
{
    QString error;
    const std::optional<PackageManifest> first = parsed(goodManifest(), error);
    ASSERT_TRUE(first);
    const std::optional<PackageManifest> second = PackageManifest::parse(first->toJson(), error);

    ASSERT_TRUE(second) << error.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(second->toJson()).object(), goodManifest());
}

TEST(PackageManifest, OptionalFieldsMayBeLeftOut)
{
    QJsonObject object = goodManifest();
    object.remove("programming_address");
    object.remove("notes");
    QString error;
    const std::optional<PackageManifest> manifest = parsed(object, error);

    ASSERT_TRUE(manifest) << error.toStdString();
    EXPECT_FALSE(manifest->programmingAddress);
    EXPECT_FALSE(manifest->notes);
}

struct ManifestCase {
    const char* name;
    std::function<void(QJsonObject&)> change;
    const char* reason;
};

class BadManifest : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(BadManifest, IsRefusedWithItsReason)
{
    QJsonObject object = goodManifest();
    GetParam().change(object);
    QString error;

    EXPECT_FALSE(parsed(object, error)) << GetParam().name;
    EXPECT_TRUE(error.contains(QString::fromUtf8(GetParam().reason))) << GetParam().name << ": " << error.toStdString();
}

const ManifestCase kBadManifests[] = {
    {"format_2", [](QJsonObject& o) { o["format"] = 2; }, "is not format 1"},
    {"format_text", [](QJsonObject& o) { o["format"] = "1"; }, "is not format 1"},
    {"no_version", [](QJsonObject& o) { o.remove("version"); }, "has no \"version\""},
    {"empty_version", [](QJsonObject& o) { o["version"] = ""; }, "empty \"version\""},
    {"version_number", [](QJsonObject& o) { o["version"] = 3; }, "\"version\" that is not text"},
    {"unknown_key", [](QJsonObject& o) { o["signature"] = "x"; }, "unknown key \"signature\""},
    {"unknown_interface", [](QJsonObject& o) { o["interface"] = "USB"; }, "interface \"USB\""},
    {"no_models", [](QJsonObject& o) { o["models"] = QJsonArray(); }, "accepts no model"},
    {"model_too_large", [](QJsonObject& o) { o["models"] = QJsonArray{5, 256}; }, "\"models\""},
    {"model_fraction", [](QJsonObject& o) { o["models"] = QJsonArray{5.5}; }, "\"models\""},
    {"models_text", [](QJsonObject& o) { o["models"] = "5,7"; }, "\"models\""},
    {"image_path", [](QJsonObject& o) { o["image"] = "../app.bin"; }, "not a plain file name"},
    {"image_is_manifest", [](QJsonObject& o) { o["image"] = "manifest.json"; }, "not a plain file name"},
    {"size_zero", [](QJsonObject& o) { o["size"] = 0; }, "image size 0"},
    {"size_over_limit", [](QJsonObject& o) { o["size"] = 64 * 1024 * 1024 + 1; }, "\"size\""},
    {"size_negative", [](QJsonObject& o) { o["size"] = -1; }, "\"size\""},
    {"sha256_upper_case", [](QJsonObject& o) { o["sha256"] = QString(64, QLatin1Char('A')); }, "\"sha256\""},
    {"sha256_short", [](QJsonObject& o) { o["sha256"] = QString(63, QLatin1Char('a')); }, "\"sha256\""},
    {"address_number", [](QJsonObject& o) { o["programming_address"] = 134217728; }, "\"programming_address\""},
    {"address_too_long", [](QJsonObject& o) { o["programming_address"] = "0x108000000"; }, "\"programming_address\""},
    {"address_for_mcuboot",
     [](QJsonObject& o) { o["interface"] = "mcuboot_serial"; },
     "programming address for mcuboot_serial"},
    {"created_local_time", [](QJsonObject& o) { o["created"] = "2024-05-01T12:00:00"; }, "\"created\""},
    {"created_nonsense", [](QJsonObject& o) { o["created"] = "yesterday"; }, "\"created\""},
    {"notes_number", [](QJsonObject& o) { o["notes"] = 1; }, "\"notes\""},
};

INSTANTIATE_TEST_SUITE_P(Cases, BadManifest, ::testing::ValuesIn(kBadManifests),
                         [](const ::testing::TestParamInfo<ManifestCase>& info) { return info.param.name; });

TEST(PackageManifest, RefusesWhatIsNotAnObject)
{
    for (const char* text : {"", "[]", "{", "\"manifest\"", "{\"format\":1}x"}) {
        QString error;
        EXPECT_FALSE(PackageManifest::parse(text, error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

} // namespace
