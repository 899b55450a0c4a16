#include "ImageCheck.h"
#include "McubootImageBuilder.h"
#include "Stm32ImageBuilder.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kAddress = 0x08000000;

TEST(ImageCheck, McubootSerialTakesOnlyMcubootImages)
{
    const ImageCheck check(InterfaceType::McubootSerial, 0);
    QByteArray wrongHash = McubootImageBuilder().build();
    wrongHash[40] = static_cast<char>(wrongHash[40] ^ 1);
    struct Case {
        const char* name;
        QByteArray image;
        QString problem;
    };
    for (const auto& [name, image, problem] : {
             Case{"good image", McubootImageBuilder().padTo(0x8000).build(), ""},
             Case{"raw application", Stm32ImageBuilder().build(),
                  "firmware image \"app.bin\" is not an MCUboot image: no header magic at offset 0"},
             Case{"truncated download", McubootImageBuilder().build().left(2000),
                  "firmware image \"app.bin\" is not an MCUboot image: the header's image size 4096 after the "
                  "32-byte header runs past the end of the file (2000 bytes)"},
             Case{"wrong hash", wrongHash, "firmware image \"app.bin\" is not an MCUboot image: SHA-256 TLV "},
         }) {
        SCOPED_TRACE(name);
        const ImageCheckResult result = check.run({"/somewhere/images/app.bin", image});
        EXPECT_EQ(result.format, "mcuboot");
        EXPECT_EQ(result.passed(), problem.isEmpty());
        EXPECT_TRUE(result.problem.isEmpty() || result.problem.startsWith(problem)) << result.problem.toStdString();
    }
}

TEST(ImageCheck, BothStm32BackEndsTakeAnApplicationForTheirAddressThatFitsTheLargestFlash)
{
    struct Case {
        const char* name;
        QByteArray image;
        QString problem;
    };
    const QString prefix = "firmware image \"app.bin\" is not an application for 0x08000000: ";
    for (const InterfaceType type : {InterfaceType::Uart, InterfaceType::Usb}) {
        const ImageCheck check(type, kAddress);
        for (const auto& [name, image, problem] : {
                 Case{"good image", Stm32ImageBuilder().build(), ""},
                 Case{"largest flash filled", Stm32ImageBuilder().size(0x200000).build(), ""},
                 Case{"past the largest flash", Stm32ImageBuilder().size(0x200004).build(),
                      prefix + "2097156 bytes at 0x08000000 end at 0x08200003, past the flash end 0x081fffff"},
                 Case{"MCUboot image", McubootImageBuilder().build(),
                      prefix + "initial stack pointer 0x96f3b83d is outside SRAM (0x20000000 to 0x40000000)"},
                 Case{"text file", "hello, this is not firmware\n",
                      prefix + "initial stack pointer 0x6c6c6568 is outside SRAM (0x20000000 to 0x40000000)"},
                 Case{"even reset handler", Stm32ImageBuilder().resetHandler(0x08000100).build(),
                      prefix + "reset handler 0x08000100 is even, not a Thumb address"},
             }) {
            SCOPED_TRACE(name);
            const ImageCheckResult result = check.run({"app.bin", image});
            EXPECT_EQ(result.format, "stm32");
            EXPECT_EQ(result.problem, problem);
        }
    }
}

TEST(ImageCheck, APassedImageListsWhatWasFound)
{
    const ImageCheckResult stm32 =
        ImageCheck(InterfaceType::Uart, kAddress).run({"app.bin", Stm32ImageBuilder().size(1001).build()});
    QStringList names;
    for (const auto& [name, value] : stm32.facts)
        names << name + "=" + value.toString();
    EXPECT_EQ(names.mid(2), QStringList({"padded_size=1004", "programming_address=0x08000000",
                                         "last_address=0x080003eb", "flash_end=0x081fffff",
                                         "stack_pointer=0x20020000", "reset_handler=0x080001c1"}));

    McubootImageBuilder builder;
    const ImageCheckResult mcuboot = ImageCheck(InterfaceType::McubootSerial, 0).run({"app.bin", builder.build()});
    QMap<QString, QVariant> facts;
    for (const auto& [name, value] : mcuboot.facts)
        facts.insert(name, value);
    EXPECT_EQ(facts.value("size").toInt(), builder.build().size());
    EXPECT_EQ(facts.value("image_size").toInt(), 4096);
    EXPECT_EQ(facts.value("version").toString(), "1.2.3+4");
    EXPECT_EQ(facts.value("tlv_sha256").toString(), QString(builder.hash().toHex()));
}

// The session gets no check at all when the configuration turns it off, and
// the check of the configured interface otherwise.
TEST(ImageCheck, ForSessionFollowsImageCheckAndTheInterface)
{
    StartupConfig config;
    config.interfaceType = InterfaceType::McubootSerial;
    const FirmwareImage application{"app.bin", Stm32ImageBuilder().build()};
    EXPECT_EQ(ImageCheck::forSession(config)(application),
              "firmware image \"app.bin\" is not an MCUboot image: no header magic at offset 0");
    config.interfaceType = InterfaceType::Usb;
    config.programmingAddress = kAddress;
    EXPECT_EQ(ImageCheck::forSession(config)(application), "");
    config.imageCheck = false;
    EXPECT_FALSE(ImageCheck::forSession(config));
}

} // namespace
