#pragma once

#include "FirmwarePackage.h"

#include <QString>
#include <optional>

// What reading a package gave: the package, or the reason it is refused.
struct PackageVerdict {
    std::optional<FirmwarePackage> package;
    QString reason;

    bool isValid() const { return package.has_value(); }
};
