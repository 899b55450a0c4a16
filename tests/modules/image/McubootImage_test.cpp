#include "ImageBytes.h"
#include "LittleEndianBytes.h"
#include "McubootImage.h"
#include "McubootImageBuilder.h"
#include "WindowTexts.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using image::McubootImage;

const QByteArray kSecurityCounter("\x01\x00\x00\x00", 4);

QByteArray withProtectedTlvs()
{
    return McubootImageBuilder().protectedTlv(McubootImageBuilder::kSecurityCounterType, kSecurityCounter).build();
}

QByteArray changed(QByteArray image, qsizetype offset)
{
    image[offset] = static_cast<char>(image[offset] ^ 0x5A);
    return image;
}

QByteArray withLe16(QByteArray image, qsizetype offset, quint16 value)
{
    putLe16(image, offset, value);
    return image;
}

QByteArray withLe32(QByteArray image, qsizetype offset, quint32 value)
{
    putLe32(image, offset, value);
    return image;
}

std::string reasonFor(const QByteArray& file)
{
    std::string reason;
    const std::optional<McubootImage> image = McubootImage::read(bytesOf(file), reason);
    EXPECT_EQ(image.has_value(), reason.empty());
    return reason;
}

TEST(McubootImageTest, ImagesAsImgtoolWritesThemAreAccepted)
{
    const McubootImageBuilder plain;
    struct Case {
        const char* name;
        QByteArray file;
    };
    for (const auto& [name, file] : {
             Case{"header, body, SHA-256", plain.build()},
             Case{"512-byte header", McubootImageBuilder().headerSize(0x200).build()},
             Case{"protected TLVs", withProtectedTlvs()},
             Case{"key hash after the hash", McubootImageBuilder().tlv(McubootImageBuilder::kKeyHashType,
                                                                      QByteArray(32, '\x11')).build()},
             Case{"padded to the slot, trailer included", McubootImageBuilder().padTo(0x4000).build()},
             Case{"anything after the TLV area", plain.build() + QByteArray("not part of the image")},
             Case{"empty body", McubootImageBuilder().body({}).build()},
         }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reasonFor(file), "");
    }
}

TEST(McubootImageTest, FilesMcubootWouldNotBootAreRefusedWithTheReason)
{
    const McubootImageBuilder builder;
    const QByteArray good = builder.build();
    const qsizetype tlv = builder.tlvOffset();
    const QByteArray shortHash = withLe16(
        McubootImageBuilder().tlv(McubootImageBuilder::kSha256Type, QByteArray(16, '\x22')).build(), tlv + 4, 0x11);
    struct Case {
        const char* name;
        QByteArray file;
        std::string reason;
    };
    for (const auto& [name, file, reason] : {
             Case{"empty file", {}, "no header magic at offset 0"},
             Case{"random bytes", makeTestImage(4096), "no header magic at offset 0"},
             Case{"bad magic", changed(good, 0), "no header magic at offset 0"},
             Case{"magic alone", good.left(4), "the file ends after 4 bytes, inside the 32-byte header"},
             Case{"header size below 32", withLe16(good, McubootImageBuilder::kHeaderSizeOffset, 16),
                  "header size 16 is below 32"},
             Case{"truncated body", good.left(32 + 100),
                  "the header's image size 4096 after the 32-byte header runs past the end of the file (132 bytes)"},
             Case{"image size past the end", withLe32(good, McubootImageBuilder::kImageSizeOffset, 0x10000),
                  "the header's image size 65536 after the 32-byte header runs past the end of the file (4168 "
                  "bytes)"},
             Case{"no TLV area", good.left(tlv), "no TLV info magic 0x6907 at offset 4128: the file ends there"},
             Case{"wrong TLV info magic", withLe16(good, tlv, 0x6906),
                  "no TLV info magic 0x6907 at offset 4128 (found 0x6906)"},
             Case{"TLV area past the end", good.left(good.size() - 1),
                  "TLV area of 40 bytes at offset 4128 runs past the end of the file (4167 bytes)"},
             Case{"TLV area shorter than its info", withLe16(good, tlv + 2, 2),
                  "TLV area at offset 4128 is 2 bytes long, shorter than its own info"},
             Case{"TLV entry past its area", withLe16(good, tlv + 6, 33),
                  "TLV of type 0x10 at offset 4132 runs past the end of its area"},
             Case{"TLV entry header cut off", withLe16(good + "\xff\xff", tlv + 2, 42),
                  "TLV entry at offset 4168 is cut off by the end of its area"},
             Case{"no SHA-256 TLV", withLe16(good, tlv + 4, 0x11), "no SHA-256 TLV (type 0x10)"},
             Case{"SHA-256 TLV of 16 bytes", shortHash, "SHA-256 TLV holds 16 bytes, not 32"},
             Case{"protected area announced, absent", withLe16(good, McubootImageBuilder::kProtectedTlvSizeOffset, 12),
                  "no TLV info magic 0x6908 at offset 4128 (found 0x6907)"},
             Case{"protected area of another size",
                  withLe16(withProtectedTlvs(), McubootImageBuilder::kProtectedTlvSizeOffset, 16),
                  "protected TLV area is 12 bytes long, the header says 16"},
             Case{"protected area not announced",
                  withLe16(withProtectedTlvs(), McubootImageBuilder::kProtectedTlvSizeOffset, 0),
                  "protected TLV area is 12 bytes long, the header says 0"},
         }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reasonFor(file), reason);
    }
}

TEST(McubootImageTest, TheHashCoversHeaderBodyAndProtectedTlvsButNotThePadding)
{
    McubootImageBuilder protectedBuilder;
    protectedBuilder.protectedTlv(McubootImageBuilder::kSecurityCounterType, kSecurityCounter).padTo(0x2000);
    const QByteArray image = protectedBuilder.build();
    const qsizetype tlv = protectedBuilder.tlvOffset();
    const std::string mismatch = "SHA-256 TLV " + protectedBuilder.hash().toHex().toStdString() +
                                 " does not match the SHA-256 of header, body and protected TLVs ";
    struct Case {
        const char* name;
        qsizetype offset;
        bool refused;
    };
    for (const auto& [name, offset, refused] : {
             Case{"version in the header", 20, true},
             Case{"first body byte", 32, true},
             Case{"last body byte", 32 + 4095, true},
             Case{"protected TLV value", tlv - 1, true},
             Case{"padding", tlv + 40, false},
             Case{"boot trailer", image.size() - 1, false},
         }) {
        SCOPED_TRACE(name);
        const std::string reason = reasonFor(changed(image, offset));
        EXPECT_EQ(reason.starts_with(mismatch), refused) << reason;
    }
    const std::string storedHashChanged = reasonFor(changed(image, tlv + 8));
    EXPECT_TRUE(storedHashChanged.starts_with("SHA-256 TLV ") && !storedHashChanged.starts_with(mismatch))
        << storedHashChanged;
}

TEST(McubootImageTest, ReadingGivesTheHeaderFactsAndTheHash)
{
    McubootImageBuilder builder;
    builder.headerSize(0x200)
        .version(2, 7, 300, 70000)
        .body(makeTestImage(5000))
        .protectedTlv(McubootImageBuilder::kSecurityCounterType, kSecurityCounter)
        .loadAddress(0x08020000)
        .padTo(0x3000);
    const QByteArray file = builder.build();
    std::string reason;
    const std::optional<McubootImage> image = McubootImage::read(bytesOf(file), reason);
    ASSERT_TRUE(image) << reason;
    EXPECT_EQ(image->headerSize, 0x200u);
    EXPECT_EQ(image->imageSize, 5000u);
    EXPECT_EQ(image->protectedTlvSize, 12u);
    EXPECT_EQ(image->tlvSize, 40u);
    EXPECT_EQ(image->loadAddress, 0x08020000u);
    EXPECT_EQ(image->version.text(), "2.7.300+70000");
    EXPECT_TRUE(image->hashChecked);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image->tlvHash.data()), 32), builder.hash());
    EXPECT_EQ(image->computedHash, image->tlvHash);
    EXPECT_EQ(image->tlvEnd(), static_cast<std::size_t>(builder.tlvOffset() + 40));
    EXPECT_EQ(image->paddingSize, static_cast<std::size_t>(0x3000 - builder.tlvOffset() - 40));
}

TEST(McubootImageTest, AnEncryptedBodyKeepsItsTlvHashUnchecked)
{
    // The hash of an encrypted image is over the plain text, which only the unit sees.
    const QByteArray encrypted = changed(withLe32(McubootImageBuilder().build(), 16, 0x04), 40);
    std::string reason;
    const std::optional<McubootImage> image = McubootImage::read(bytesOf(encrypted), reason);
    ASSERT_TRUE(image) << reason;
    EXPECT_FALSE(image->hashChecked);
    EXPECT_NE(image->computedHash, image->tlvHash);
}

} // namespace

namespace {

QByteArray carried(const QByteArray& file)
{
    const std::optional<image::Sha256Digest> hash = McubootImage::carriedHash(bytesOf(file));
    return hash ? QByteArray(reinterpret_cast<const char*>(hash->data()), 32) : QByteArray();
}

// What a unit that stored the file would report: the TLV hash the file
// carries, even when the body no longer matches it.
TEST(McubootImageTest, TheCarriedHashIsReadFromTheLayoutAlone)
{
    McubootImageBuilder builder;
    builder.protectedTlv(McubootImageBuilder::kSecurityCounterType, kSecurityCounter);
    const QByteArray file = builder.build();
    const QByteArray bodyChanged = changed(file, builder.tlvOffset() - 1);
    std::string reason;
    ASSERT_FALSE(McubootImage::read(bytesOf(bodyChanged), reason));

    EXPECT_EQ(carried(file), builder.hash());
    EXPECT_EQ(carried(bodyChanged), builder.hash());
    EXPECT_EQ(carried(changed(file, 0)), QByteArray()) << "no header magic";
    EXPECT_EQ(carried(file.left(builder.tlvOffset() + 8)), QByteArray()) << "TLV area cut off";
}

} // namespace
