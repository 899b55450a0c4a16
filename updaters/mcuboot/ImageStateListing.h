#pragma once

#include <QByteArray>
#include <optional>

// What an image-state answer says about slot 0 of image 0. MCUboot lists an
// image only after validating it, with the SHA-256 from its TLV area.
struct ImageStateListing {
    bool hasImageList = false;             // an "images" key was there
    std::optional<QByteArray> slotZeroHash; // slot 0's "hash", when listed with one

    // A payload that is not a readable map counts as one without "images";
    // an "images" value that cannot be read counts as a list without slot 0.
    static ImageStateListing read(const QByteArray& payload);
};
