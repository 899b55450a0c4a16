#pragma once

#include <QByteArray>
#include <QRandomGenerator>

// Image content that no simple pattern or offset mix-up can reproduce.
inline QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}
