#pragma once

#include <QByteArray>

// What an STM32 unit holds after a good update through the bootloader client:
// the image, with the flag 1 in byte 4 of its last 8 bytes and zeros after it.
inline QByteArray withTrailerFlag(QByteArray image)
{
    const qsizetype trailer = image.size() - 8;
    image[trailer + 4] = 1;
    image[trailer + 5] = 0;
    image[trailer + 6] = 0;
    image[trailer + 7] = 0;
    return image;
}
