#include "CliBench.h"
#include "McubootImageBuilder.h"
#include "Stm32ImageBuilder.h"
#include "WindowTexts.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QByteArray flipped(QByteArray bytes, qsizetype offset)
{
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
    return bytes;
}

const QByteArray kMcuboot = McubootImageBuilder().build();
const qsizetype kTlvOffset = McubootImageBuilder().tlvOffset();

struct FileCase {
    const char* name;
    Backend backend;
    QByteArray image;
    int exitCode;
    QString said; // the reason on standard error; empty when the image passes
};

class CliCheckImage : public ::testing::TestWithParam<FileCase> {};

// Each rule against a real file: check-image says what update would do with it.
TEST_P(CliCheckImage, ExitsWithTheVerdictAndSaysWhy)
{
    CliBench bench(GetParam().backend);
    const QString file = QDir(bench.resourcesPath()).filePath("app.bin");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(GetParam().image);
    out.close();

    const CliResult result = bench.run({"check-image", "--image", file});

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err.toStdString();
    if (GetParam().said.isEmpty()) {
        EXPECT_TRUE(result.out.contains("The image passes the checks.")) << result.out.toStdString();
        EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    } else {
        EXPECT_TRUE(result.err.startsWith("firmware image \"app.bin\" " + GetParam().said)) << result.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CliCheckImage,
    ::testing::Values(
        FileCase{"mcuboot_good", Backend::Mcuboot, McubootImageBuilder().padTo(0x8000).build(), 0, ""},
        FileCase{"mcuboot_bad_magic", Backend::Mcuboot, flipped(kMcuboot, 3), 2,
                 "is not an MCUboot image: no header magic at offset 0"},
        FileCase{"mcuboot_truncated_body", Backend::Mcuboot, kMcuboot.left(1024), 2,
                 "is not an MCUboot image: the header's image size 4096 after the 32-byte header runs past the end "
                 "of the file (1024 bytes)"},
        FileCase{"mcuboot_wrong_hash", Backend::Mcuboot, flipped(kMcuboot, 1000), 2,
                 "is not an MCUboot image: SHA-256 TLV " + QString(McubootImageBuilder().hash().toHex()) +
                     " does not match"},
        FileCase{"mcuboot_tlv_past_the_end", Backend::Mcuboot, kMcuboot.left(kMcuboot.size() - 8), 2,
                 "is not an MCUboot image: TLV area of 40 bytes at offset 4128 runs past the end of the file (4160 "
                 "bytes)"},
        FileCase{"uart_good", Backend::Uart, Stm32ImageBuilder().build(), 0, ""},
        FileCase{"uart_past_the_flash_end", Backend::Uart, Stm32ImageBuilder().size(0x200001).build(), 2,
                 "is not an application for 0x08000000: 2097156 bytes at 0x08000000 end at 0x08200003, past the "
                 "flash end 0x081fffff"},
        FileCase{"uart_stack_pointer_outside_sram", Backend::Uart,
                 Stm32ImageBuilder().stackPointer(0x10008000).build(), 2,
                 "is not an application for 0x08000000: initial stack pointer 0x10008000 is outside SRAM"},
        FileCase{"usb_good", Backend::Usb, Stm32ImageBuilder().size(100000).build(), 0, ""},
        FileCase{"usb_even_reset_handler", Backend::Usb, Stm32ImageBuilder().resetHandler(0x08000400).build(), 2,
                 "is not an application for 0x08000000: reset handler 0x08000400 is even, not a Thumb address"},
        FileCase{"usb_reset_handler_outside_the_image", Backend::Usb,
                 Stm32ImageBuilder().resetHandler(0x08010001).build(), 2,
                 "is not an application for 0x08000000: reset handler 0x08010001 points outside the image"},
        FileCase{"usb_mcuboot_image", Backend::Usb, kMcuboot, 2,
                 "is not an application for 0x08000000: initial stack pointer 0x96f3b83d is outside SRAM"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliCheckImageJson, OneImageEventWithTheFacts)
{
    McubootImageBuilder builder;
    builder.version(3, 1, 4, 15);
    CliBench bench(Backend::Mcuboot);
    const QString file = QDir(bench.resourcesPath()).filePath("signed.bin");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(builder.build());
    out.close();

    const CliResult result = bench.run({"check-image", "--json", "--image", file});

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_EQ(events.size(), 1) << result.out.toStdString();
    const QJsonObject& image = events.first();
    EXPECT_EQ(image["event"].toString(), "image");
    EXPECT_EQ(image["format"].toString(), "mcuboot");
    EXPECT_TRUE(image["ok"].toBool());
    EXPECT_EQ(image["exit"].toInt(), 0);
    EXPECT_EQ(image["size"].toInt(), builder.build().size());
    EXPECT_EQ(image["header_size"].toInt(), 32);
    EXPECT_EQ(image["image_size"].toInt(), 4096);
    EXPECT_EQ(image["version"].toString(), "3.1.4+15");
    EXPECT_EQ(image["tlv_sha256"].toString(), QString(builder.hash().toHex()));
    EXPECT_FALSE(image.contains("reason"));
}

struct RefusalCase {
    const char* name;
    Backend backend;
    QByteArray image;
    QString extraIni;
    QStringList arguments = {"update", "--json"};
};

class CliUpdateRefusesTheImage : public ::testing::TestWithParam<RefusalCase> {};

// Refused before any unit is looked for: the unit hears nothing, dfu-util-static
// is not even asked for a listing.
TEST_P(CliUpdateRefusesTheImage, WithExitCodeTwoBeforeLookingForUnits)
{
    CliBench bench(GetParam().backend, GetParam().extraIni);
    QFile image(bench.imagePath());
    ASSERT_TRUE(image.open(QIODevice::WriteOnly | QIODevice::Truncate));
    image.write(GetParam().image);
    image.close();
    if (GetParam().backend == Backend::Usb)
        bench.listDfuDevices("0483:df11");
    else
        ASSERT_TRUE(bench.plug().isReady());

    const CliResult result = bench.run(GetParam().arguments);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
    EXPECT_TRUE(result.err.startsWith("firmware image \"firmware.bin\" is not an")) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("Nothing was written")) << result.err.toStdString();
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_EQ(events.size(), 1) << result.out.toStdString();
    EXPECT_EQ(events.first()["event"].toString(), "done");
    EXPECT_EQ(events.first()["exit"].toInt(), 2);
    EXPECT_TRUE(events.first()["reason"].toString().startsWith("firmware image \"firmware.bin\" is not an"));
    if (GetParam().backend == Backend::Usb) {
        EXPECT_TRUE(bench.dfuRuns().isEmpty());
    } else {
        EXPECT_FALSE(bench.unit(0).log().contains("request")) << bench.unit(0).log().toStdString();
        EXPECT_EQ(bench.unit(0).events(), QStringList{"ready " + bench.unit(0).path()});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Backends, CliUpdateRefusesTheImage,
    ::testing::Values(RefusalCase{"mcuboot", Backend::Mcuboot, makeTestImage(8192), ""},
                      RefusalCase{"mcuboot_service", Backend::Mcuboot, makeTestImage(8192), "fw_target_type=service\n"},
                      RefusalCase{"mcuboot_all", Backend::Mcuboot, makeTestImage(8192), "",
                                  {"update", "--all", "--json"}},
                      RefusalCase{"uart", Backend::Uart, McubootImageBuilder().build(), ""},
                      RefusalCase{"usb", Backend::Usb, Stm32ImageBuilder().stackPointer(0x08000000).build(), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Only Get ID names the unit's flash end: the UART back-end refuses then,
// before the erase, and the run fails with the reason.
TEST(CliUpdateUart, AnImagePastTheUnitsFlashEndIsRefusedBeforeTheErase)
{
    CliBench bench(Backend::Uart, QString(), 0x80004);
    UnitSimulator& unit = bench.plug();
    ASSERT_TRUE(unit.isReady());

    const CliResult result = bench.run({"update", "--json"});

    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last()["reason"].toString(),
              "firmware image \"firmware.bin\" does not fit product 0x0469: 524292 bytes at 0x08000000 end at "
              "0x08080003, past the flash end 0x0807ffff");
    EXPECT_TRUE(unit.events().filter(QRegularExpression("^(write|go|marker)")).isEmpty())
        << unit.events().join('\n').toStdString();
    EXPECT_FALSE(unit.log().contains("Get Version")) << unit.log().toStdString();
    EXPECT_FALSE(unit.log().contains("Erase")) << unit.log().toStdString();
}

// The way out: a bad image goes to the unit as it would have before, and the
// run says once that it is unchecked.
TEST(CliImageCheckOff, LetsABadImageThroughWithAWarning)
{
    CliBench bench(Backend::Mcuboot, "image_check=false\n");
    QFile image(bench.imagePath());
    ASSERT_TRUE(image.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray random = makeTestImage(8192);
    image.write(random);
    image.close();
    UnitSimulator& unit = bench.plug();
    ASSERT_TRUE(unit.isReady());

    const CliResult result = bench.run({"update"});

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(unit.image(), random);
    EXPECT_EQ(result.err.count("image_check is false"), 1) << result.err.toStdString();
    ASSERT_TRUE(unit.waitForEvent("image-check", 3000));
    EXPECT_TRUE(unit.events().contains("image-check bad no header magic at offset 0"));
}

} // namespace
