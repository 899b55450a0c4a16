#pragma once

#include "WindowTexts.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QtEndian>

// An image in MCUboot's format: a 32-byte header, a body of test bytes and an
// unprotected TLV area holding the SHA-256 of header and body (type 0x10).
inline QByteArray makeMcubootTestImage(int bodySize)
{
    QByteArray header(32, '\0');
    qToLittleEndian<quint32>(0x96f3b83d, header.data());
    qToLittleEndian<quint16>(32, header.data() + 8);        // header size
    qToLittleEndian<quint16>(0, header.data() + 10);        // no protected TLVs
    qToLittleEndian<quint32>(bodySize, header.data() + 12); // body size
    header[20] = 1;                                          // version 1.0.0
    QByteArray image = header + makeTestImage(bodySize);
    const QByteArray hash = QCryptographicHash::hash(image, QCryptographicHash::Sha256);
    QByteArray tlv(8, '\0');
    qToLittleEndian<quint16>(0x6907, tlv.data());
    qToLittleEndian<quint16>(4 + 4 + 32, tlv.data() + 2);
    qToLittleEndian<quint16>(0x10, tlv.data() + 4);
    qToLittleEndian<quint16>(32, tlv.data() + 6);
    return image + tlv + hash;
}
