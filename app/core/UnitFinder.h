#pragma once

#include "FoundUnit.h"
#include "InterfaceType.h"
#include "SerialPortEntry.h"
#include "VidPid.h"

#include <QList>
#include <QString>
#include <map>
#include <optional>

// The candidate rules: which serial ports, or which DFU devices in USB mode,
// count as a connected unit. Asks no unit anything.
class UnitFinder {
public:
    static constexpr int kDfuListingTimeoutMs = 30000;

    UnitFinder(InterfaceType interfaceType, const QString& dfuUtilPath, const std::map<QString, VidPid>& products);

    // Only this port counts (the command line's --port); empty for any port.
    // In USB mode it is a DFU unit's USB path, as the listing gives it.
    void restrictToPort(const QString& port) { only_port = port; }
    QString restrictedPort() const { return only_port; }

    // Serial types: candidate ports in enumeration order. USB: every listed
    // line with a known identifier pair, so a device listed twice counts twice.
    QList<FoundUnit> find() const;

    static bool isUsablePort(const SerialPortEntry& port);
    std::optional<QString> productOf(const VidPid& ids) const;

private:
    QList<FoundUnit> findSerialPorts() const;
    QList<FoundUnit> findDfuDevices() const;
    bool isWanted(const QString& port) const;

    InterfaceType interface_type;
    QString dfu_util_path;
    std::map<QString, VidPid> products;
    QString only_port;
};
