#pragma once

#include <QByteArray>
#include <QtGlobal>

// Little-endian fields appended to, or written into, test images.
inline void appendLe16(QByteArray& bytes, quint16 value)
{
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>(value >> 8));
}

inline void appendLe32(QByteArray& bytes, quint32 value)
{
    appendLe16(bytes, static_cast<quint16>(value & 0xFFFF));
    appendLe16(bytes, static_cast<quint16>(value >> 16));
}

inline void putLe16(QByteArray& bytes, qsizetype offset, quint16 value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

inline void putLe32(QByteArray& bytes, qsizetype offset, quint32 value)
{
    putLe16(bytes, offset, static_cast<quint16>(value & 0xFFFF));
    putLe16(bytes, offset + 2, static_cast<quint16>(value >> 16));
}
