#pragma once

#include "PackageManifest.h"

#include <QByteArray>
#include <QString>

// A package that was read and verified: its manifest, the image it carries
// and the name of the trusted key that signed it.
struct FirmwarePackage {
    PackageManifest manifest;
    QByteArray image;
    QString keyName;
};
