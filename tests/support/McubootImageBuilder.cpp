#include "McubootImageBuilder.h"

#include "LittleEndianBytes.h"
#include "WindowTexts.h"

#include <QCryptographicHash>

namespace {

// The last 16 bytes of a padded image: the boot trailer's magic.
QByteArray bootMagic()
{
    QByteArray magic;
    for (const quint32 word : {0xf395c277u, 0x7fefd260u, 0x0f505235u, 0x8079b62cu})
        appendLe32(magic, word);
    return magic;
}

} // namespace

McubootImageBuilder::McubootImageBuilder() : bodyBytes(makeTestImage(4096))
{
    version(1, 2, 3, 4);
}

QByteArray McubootImageBuilder::imageOfSize(qsizetype fileSize)
{
    return McubootImageBuilder().body(makeTestImage(static_cast<int>(fileSize - kOverhead))).build();
}

McubootImageBuilder& McubootImageBuilder::body(const QByteArray& bytes)
{
    bodyBytes = bytes;
    return *this;
}

McubootImageBuilder& McubootImageBuilder::headerSize(quint16 size)
{
    headerBytes = size;
    return *this;
}

McubootImageBuilder& McubootImageBuilder::loadAddress(quint32 address)
{
    load = address;
    return *this;
}

McubootImageBuilder& McubootImageBuilder::version(quint8 major, quint8 minor, quint16 revision, quint32 build)
{
    versionBytes.clear();
    versionBytes.append(static_cast<char>(major));
    versionBytes.append(static_cast<char>(minor));
    appendLe16(versionBytes, revision);
    appendLe32(versionBytes, build);
    return *this;
}

McubootImageBuilder& McubootImageBuilder::protectedTlv(quint16 type, const QByteArray& value)
{
    protectedEntries.append({type, value});
    return *this;
}

McubootImageBuilder& McubootImageBuilder::tlv(quint16 type, const QByteArray& value)
{
    entries.append({type, value});
    return *this;
}

McubootImageBuilder& McubootImageBuilder::padTo(qsizetype slotSize)
{
    slot = slotSize;
    return *this;
}

QByteArray McubootImageBuilder::area(quint16 magic, const QList<Entry>& areaEntries)
{
    QByteArray bytes;
    for (const Entry& entry : areaEntries) {
        appendLe16(bytes, entry.type);
        appendLe16(bytes, static_cast<quint16>(entry.value.size()));
        bytes.append(entry.value);
    }
    QByteArray info;
    appendLe16(info, magic);
    appendLe16(info, static_cast<quint16>(bytes.size() + 4));
    return info + bytes;
}

QByteArray McubootImageBuilder::hashedPart() const
{
    const QByteArray protectedArea =
        protectedEntries.isEmpty() ? QByteArray() : area(kProtectedTlvInfoMagic, protectedEntries);
    QByteArray bytes;
    appendLe32(bytes, kHeaderMagic);
    appendLe32(bytes, load);
    appendLe16(bytes, headerBytes);
    appendLe16(bytes, static_cast<quint16>(protectedArea.size()));
    appendLe32(bytes, static_cast<quint32>(bodyBytes.size()));
    appendLe32(bytes, 0); // flags
    bytes.append(versionBytes);
    appendLe32(bytes, 0);
    // imgtool fills a larger header with zeros.
    bytes.append(QByteArray(qMax<qsizetype>(0, headerBytes - bytes.size()), '\0'));
    return bytes + bodyBytes + protectedArea;
}

QByteArray McubootImageBuilder::hash() const
{
    return QCryptographicHash::hash(hashedPart(), QCryptographicHash::Sha256);
}

qsizetype McubootImageBuilder::tlvOffset() const
{
    return hashedPart().size();
}

QByteArray McubootImageBuilder::build() const
{
    QList<Entry> allEntries{{kSha256Type, hash()}};
    allEntries.append(entries);
    QByteArray image = hashedPart() + area(kTlvInfoMagic, allEntries);
    if (slot > image.size()) {
        const QByteArray magic = bootMagic();
        image.append(QByteArray(qMax<qsizetype>(0, slot - image.size() - magic.size()), '\xff'));
        image.append(magic);
    }
    return image;
}
