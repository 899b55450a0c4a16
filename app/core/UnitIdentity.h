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

    // Asks the back-end's identity reader, where it offers one; the others
    // give nothing. Runs on the back-end's thread, link open.
    static std::optional<UnitIdentity> read(FirmwareUpdaterBase& backend);
    static bool isReadableFrom(FirmwareUpdaterBase& backend);
};

Q_DECLARE_METATYPE(UnitIdentity)
