#pragma once

#include "FirmwareImage.h"
#include "ImageCheckResult.h"
#include "InterfaceType.h"
#include "StartupConfig.h"
#include "UpdateSession.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// The one check of a firmware image before anything on a unit is erased,
// shared by the window and the command line. MCUboot serial recovery takes
// only MCUboot images; the STM32 back-ends take an application whose vector
// table fits `programming_address` and which ends below the flash end (for
// UART the unit's own flash end is checked again once Get ID has named it).
class ImageCheck {
public:
    ImageCheck(InterfaceType interfaceType, std::uint32_t programmingAddress);
    explicit ImageCheck(const StartupConfig& config) : ImageCheck(config.interfaceType, config.programmingAddress) {}

    ImageCheckResult run(const FirmwareImage& image) const;
    // Empty when the image may be written, else the reason.
    QString problem(const FirmwareImage& image) const { return run(image).problem; }

    // The check an update session runs on each image, or none when the
    // configuration turns it off.
    static UpdateSession::ImageCheck forSession(const StartupConfig& config);

private:
    void checkMcubootImage(const QByteArray& bytes, ImageCheckResult& result) const;
    void checkStm32Application(const QByteArray& bytes, ImageCheckResult& result) const;

    InterfaceType interfaceType;
    std::uint32_t programmingAddress;
    std::uint32_t flashEnd;
};
