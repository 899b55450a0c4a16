#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

// The one error text the window shows, for a rejected unit and a failed update.
inline const QString kWindowErrorText =
    QString::fromUtf8("Error connecting to device \u2014 Disconnect device and repeat step 1-3");

// A firmware image of random bytes, the same for the same size on every run.
inline QByteArray makeTestImage(int size)
{
    QByteArray image(size, Qt::Uninitialized);
    QRandomGenerator generator(4321);
    for (char& byte : image)
        byte = static_cast<char>(generator.bounded(256));
    return image;
}
