#pragma once

#include <QMetaType>
#include <QString>
#include <optional>

class FirmwareUpdaterBase;

// What a connected unit says about itself, where its back-end can read it
// without writing anything: the model identifier and the serial number.
struct UnitIdentity {
    std::optional<int> model;
    QString serialNumber;

    // Only the MCUboot back-end offers these reads (its OTP values over SMP);
    // the others give nothing. Runs on the back-end's thread, link open.
    static std::optional<UnitIdentity> read(FirmwareUpdaterBase& backend);
    static bool isReadableFrom(const FirmwareUpdaterBase& backend);
};

Q_DECLARE_METATYPE(UnitIdentity)
