#include "CliBench.h"
#include "RawZip.h"
#include "ReleaseKit.h"
#include "Stm32ImageBuilder.h"
#include "ZipArchiveReader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct BackendCase {
    const char* name;
    Backend backend;
    const char* interfaceName;
};

const BackendCase kBackends[] = {{"mcuboot", Backend::Mcuboot, "mcuboot_serial"},
                                 {"uart", Backend::Uart, "uart"},
                                 {"usb", Backend::Usb, "usb"}};

// A bench for one back-end whose Resources trust the release key, with
// packages of the bench's image made by the real CLI.
class PackageBench {
public:
    explicit PackageBench(const BackendCase& backendCase, const QString& extraIni = QString())
        : which(backendCase), bench(backendCase.backend, extraIni)
    {
        kit.trustIn(bench.resourcesPath());
    }

    // Options of a package that fits the bench, with `changes` applied
    // (option and value pairs replace or add; a null value removes).
    // A non-empty `image` is packaged in place of the bench's own.
    QString package(const QString& name, const QList<std::pair<QString, QString>>& changes = {},
                    const QString& key = QStringLiteral("release"), const QByteArray& image = {}) const
    {
        QList<std::pair<QString, QString>> options{{"--version", "2.0.0"},
                                                   {"--models", "5,7"},
                                                   {"--interface", which.interfaceName},
                                                   {"--product", "Lumavex Sensor"}};
        if (which.backend != Backend::Mcuboot)
            options.emplaceBack("--programming-address", "0x08000000");
        for (const auto& [option, value] : changes) {
            const auto at = std::find_if(options.begin(), options.end(), [&](const auto& o) { return o.first == option; });
            if (at != options.end())
                options.erase(at);
            if (!value.isNull())
                options.emplaceBack(option, value);
        }
        QStringList arguments;
        for (const auto& [option, value] : options)
            arguments << option << value;
        return kit.create(image.isEmpty() ? bench.imagePath() : imageFile(image), arguments, name, key);
    }
    QString imageFile(const QByteArray& image) const
    {
        QDir(kit.path(QString())).mkpath("other");
        QFile file(kit.path("other/firmware.bin"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        return file.fileName();
    }
    // The unit a test updates: plugged (serial) or listed (USB).
    void connectUnit(const QStringList& arguments = {})
    {
        if (which.backend == Backend::Usb)
            bench.listDfuDevices("0483:df11");
        else
            ASSERT_TRUE(bench.plug(arguments).isReady());
    }
    // What the unit has seen: the simulator's request log, or the runs of dfu-util.
    QString traffic()
    {
        if (which.backend != Backend::Usb)
            return bench.unit(0).log();
        QString runs;
        for (const QStringList& run : bench.dfuRuns())
            runs += run.join(' ') + '\n';
        return runs;
    }

    BackendCase which;
    CliBench bench;
    ReleaseKit kit;
};

class CliUpdatePackage : public ::testing::TestWithParam<BackendCase> {};

QJsonObject eventNamed(const CliResult& result, const QString& name)
{
    for (const QJsonObject& event : result.jsonLines())
        if (event["event"] == name)
            return event;
    return {};
}

TEST_P(CliUpdatePackage, AGoodPackageUpdatesTheUnitWithItsImage)
{
    PackageBench bench(GetParam());
    const QString package = bench.package("good.fwpkg");
    bench.connectUnit();
    QTemporaryDir logs;

    const CliResult result =
        bench.bench.run({"update", "--image", package, "--json", "--log", logs.filePath("run.log")});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.bench.unitHoldsImage());
    EXPECT_EQ(eventNamed(result, "found")["version"], "2.0.0");
    EXPECT_EQ(eventNamed(result, "done")["version"], "2.0.0");
    QFile log(logs.filePath("run.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString sha = QCryptographicHash::hash(bench.bench.imageBytes(), QCryptographicHash::Sha256).toHex();
    EXPECT_TRUE(QString::fromUtf8(log.readAll())
                    .contains(QStringLiteral("package: product \"Lumavex Sensor\", version 2.0.0, image firmware.bin "
                                             "SHA-256 %1, signed by key \"release\"")
                                  .arg(sha)));
}

TEST_P(CliUpdatePackage, APlainImageStillWorksAndHasNoVersion)
{
    PackageBench bench(GetParam());
    bench.connectUnit();

    const CliResult result = bench.bench.run({"update", "--json"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(bench.bench.unitHoldsImage());
    EXPECT_EQ(eventNamed(result, "done")["version"], "");
}

using Entries = QList<std::pair<QByteArray, QByteArray>>;

// The package with one entry changed, zipped again.
QString tampered(const QString& packagePath, const QByteArray& entryName, const std::function<void(QByteArray&)>& change)
{
    QFile file(packagePath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    QString error;
    const std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(bytes, error);
    Entries entries;
    for (const ZipArchiveReader::Entry& entry : archive->entries()) {
        QByteArray content = *archive->read(QString::fromUtf8(entry.name), 1 << 20, error);
        if (entry.name == entryName)
            change(content);
        entries.append({entry.name, content});
    }
    const QString out = packagePath + QStringLiteral(".tampered.fwpkg");
    QFile written(out);
    EXPECT_TRUE(written.open(QIODevice::WriteOnly));
    written.write(rawZip(entries));
    return out;
}

struct Refusal {
    const char* name;
    std::function<QString(PackageBench&)> image;  // the --image argument
    const char* reason;
    bool stm32Only = false;
};

const Refusal kRefusals[] = {
    {"image_byte_changed",
     [](PackageBench& b) {
         return tampered(b.package("p.fwpkg"), "firmware.bin", [](QByteArray& image) { image[10] = static_cast<char>(image[10] ^ 1); });
     },
     "has the SHA-256"},
    {"manifest_byte_changed",
     [](PackageBench& b) {
         return tampered(b.package("p.fwpkg"), "manifest.json", [](QByteArray& json) { json.replace("2.0.0", "2.0.1"); });
     },
     "signature does not verify with any trusted key (release)"},
    {"key_not_in_resources",
     [](PackageBench& b) {
         b.kit.makeKey("stranger");
         return b.package("p.fwpkg", {}, "stranger");
     },
     "signature does not verify"},
    {"wrong_interface",
     [](PackageBench& b) {
         // A good release for the other interface: an STM32 application.
         const bool usb = b.which.backend == Backend::Usb;
         return b.package("p.fwpkg", {{"--interface", usb ? "uart" : "usb"}, {"--programming-address", "0x08000000"}},
                          "release", Stm32ImageBuilder().build());
     },
     "it is for the interface"},
    {"wrong_programming_address",
     [](PackageBench& b) {
         // A good release, built to run at the other address.
         return b.package("p.fwpkg", {{"--programming-address", "0x08004000"}}, "release",
                          Stm32ImageBuilder(0x08004000).build());
     },
     "it is for the programming address 0x08004000, the configuration has 0x08000000", true},
    {"models_miss_device_id_list",
     [](PackageBench& b) { return b.package("p.fwpkg", {{"--models", "5,9"}}); },
     "device_id_list (7,12) and the models of the package"},
};

// Refused before any unit is touched: exit code 2, the reason, and the unit
// saw exactly what it saw before the run.
TEST_P(CliUpdatePackage, ARefusedPackageLeavesTheUnitAlone)
{
    for (const Refusal& refusal : kRefusals) {
        if (refusal.stm32Only && GetParam().backend == Backend::Mcuboot)
            continue;
        SCOPED_TRACE(refusal.name);
        PackageBench bench(GetParam());
        const QString image = refusal.image(bench);
        bench.connectUnit();
        const QString before = bench.traffic();

        const CliResult result = bench.bench.run({"update", "--image", image, "--json"});

        EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(refusal.reason)) << result.err.toStdString();
        EXPECT_TRUE(eventNamed(result, "done")["reason"].toString().contains(refusal.reason));
        EXPECT_EQ(bench.traffic(), before);
        EXPECT_FALSE(bench.bench.unitHoldsImage());
    }
}

TEST_P(CliUpdatePackage, OnlySignedPackagesWhenTheConfigurationSaysSo)
{
    PackageBench bench(GetParam(), "require_signed_package=true\n");
    bench.connectUnit();
    const QString before = bench.traffic();

    const CliResult plain = bench.bench.run({"update"});

    EXPECT_EQ(plain.exitCode, 2);
    EXPECT_TRUE(plain.err.contains("firmware image \"firmware.bin\" is not a signed package, and "
                                   "require_signed_package is true"))
        << plain.err.toStdString();
    EXPECT_EQ(bench.traffic(), before);
    EXPECT_EQ(bench.bench.run({"update", "--image", bench.package("good.fwpkg")}).exitCode, 0);
    EXPECT_TRUE(bench.bench.unitHoldsImage());
}

// The unit's model 7 is in device_id_list (7, 12) but not in the package's
// models: refused as any refused model, nothing written.
TEST_P(CliUpdatePackage, AUnitOutsideThePackageModelsIsRefused)
{
    PackageBench bench(GetParam());
    const QString package = bench.package("p.fwpkg", {{"--models", "12"}});
    bench.connectUnit();

    const CliResult result = bench.bench.run({"update", "--image", package, "--json"});

    EXPECT_EQ(result.exitCode, 4) << result.err.toStdString();
    EXPECT_FALSE(bench.bench.unitHoldsImage());
    EXPECT_EQ(eventNamed(result, "done")["version"], "2.0.0");
}

INSTANTIATE_TEST_SUITE_P(Backends, CliUpdatePackage, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliUpdatePackageAll, TheReportNamesThePackageVersion)
{
    PackageBench bench(kBackends[0]);
    ASSERT_TRUE(bench.bench.plug({"--serial-number", "LMX-7"}).isReady());
    ASSERT_TRUE(bench.bench.plug({"--serial-number", "LMX-12", "--model-id", "12"}).isReady());
    const QString package = bench.package("p.fwpkg", {{"--models", "7"}});
    QTemporaryDir folder;

    const CliResult result =
        bench.bench.run({"update", "--all", "--image", package, "--report", folder.filePath("r.csv"), "--json"});

    EXPECT_EQ(result.exitCode, 4) << result.err.toStdString();
    EXPECT_EQ(bench.bench.unitImage(0), bench.bench.imageBytes());
    EXPECT_TRUE(bench.bench.unitImage(1).isEmpty());
    QFile report(folder.filePath("r.csv"));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(report.readAll()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    const QString sha = QCryptographicHash::hash(bench.bench.imageBytes(), QCryptographicHash::Sha256).toHex();
    for (const QString& row : rows.mid(1)) {
        EXPECT_TRUE(row.endsWith(",2.0.0,")) << "version, then verified (not read back): " << row.toStdString();
        EXPECT_TRUE(row.contains(",p.fwpkg," + sha + ",")) << row.toStdString();
    }
    for (const QJsonObject& event : result.jsonLines()) {
        if (event["event"] == "done" || event["event"] == "found") {
            EXPECT_EQ(event["version"], "2.0.0");
        }
    }
}

} // namespace
