#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// Readable failure messages for Qt values in assertions.
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "hex[" << bytes.toHex(' ').toStdString() << "]";
}

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
