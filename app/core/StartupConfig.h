#pragma once

#include "InterfaceType.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <cstdint>

// The values start-up hands to the back-end it builds.
struct StartupConfig {
    InterfaceType interfaceType = InterfaceType::Uart;
    QString firmwarePath;
    QString fwTargetType;
    std::uint32_t bootModeAddress = 0;
    std::uint32_t startAddress = 0;
    std::uint32_t programmingAddress = 0;
    std::uint32_t otpAddress = 0;
    std::uint64_t otpSize = 0;
    int mcubootBaud = 921600;
    // Whether an image is checked before anything on the unit is erased.
    bool imageCheck = true;
    // Only signed packages may be written; a plain image is refused.
    bool requireSignedPackage = false;
    // The folder of trusted public keys: Resources/keys.
    QString trustedKeysFolder;
    // Read the image back after writing it; DONE only when it matches.
    bool verifyAfterWrite = false;

    static constexpr int kDefaultMcubootBaud = 921600;

    static StartupConfig read(const QSettings& settings, const QDir& resourcesDir);
};
