#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Writes a firmware file in MCUboot's image format, as `imgtool sign` does:
// the header, the body, an optional protected TLV area, the TLV area with the
// SHA-256 over header, body and protected TLVs, and, on request, the padding
// with the boot trailer's magic that `imgtool --pad` adds. The hash is
// computed with Qt, apart from the reader under test.
class McubootImageBuilder {
public:
    static constexpr quint32 kHeaderMagic = 0x96f3b83d;
    static constexpr quint16 kTlvInfoMagic = 0x6907;
    static constexpr quint16 kProtectedTlvInfoMagic = 0x6908;
    static constexpr quint16 kSha256Type = 0x10;
    static constexpr quint16 kKeyHashType = 0x01;
    static constexpr quint16 kSecurityCounterType = 0x50;
    // Offsets into the header.
    static constexpr qsizetype kHeaderSizeOffset = 8;
    static constexpr qsizetype kProtectedTlvSizeOffset = 10;
    static constexpr qsizetype kImageSizeOffset = 12;

    // Header and SHA-256 TLV around the body.
    static constexpr qsizetype kOverhead = 32 + 40;

    McubootImageBuilder();

    // A file of exactly `fileSize` bytes (kOverhead or more): a default image
    // whose body fills what header and TLV area leave.
    static QByteArray imageOfSize(qsizetype fileSize);

    McubootImageBuilder& body(const QByteArray& bytes);
    McubootImageBuilder& headerSize(quint16 size);
    McubootImageBuilder& loadAddress(quint32 address);
    McubootImageBuilder& version(quint8 major, quint8 minor, quint16 revision, quint32 build);
    McubootImageBuilder& protectedTlv(quint16 type, const QByteArray& value);
    McubootImageBuilder& tlv(quint16 type, const QByteArray& value);
    // Fills the file up to `slotSize` bytes with 0xFF and ends it with the
    // 16-byte boot magic, like `imgtool sign --pad --slot-size`.
    McubootImageBuilder& padTo(qsizetype slotSize);

    QByteArray build() const;
    // Where the TLV area starts in what build() returns.
    qsizetype tlvOffset() const;
    // The SHA-256 TLV value of what build() returns.
    QByteArray hash() const;

private:
    struct Entry {
        quint16 type;
        QByteArray value;
    };
    static QByteArray area(quint16 magic, const QList<Entry>& entries);
    // Header, body and protected TLVs: what the SHA-256 covers.
    QByteArray hashedPart() const;

    QByteArray bodyBytes;
    quint16 headerBytes = 32;
    quint32 load = 0;
    QByteArray versionBytes;
    QList<Entry> protectedEntries;
    QList<Entry> entries;
    qsizetype slot = 0;
};
