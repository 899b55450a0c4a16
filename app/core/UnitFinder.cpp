#include "UnitFinder.h"

#include "ConfigConversions.h"
#include "DfuListing.h"
#include "SerialPortList.h"

#include <QFileInfo>
#include <QSysInfo>

UnitFinder::UnitFinder(InterfaceType interfaceType, const QString& dfuUtilPath,
                       const std::map<QString, VidPid>& products)
    : interface_type(interfaceType), dfu_util_path(dfuUtilPath), products(products)
{
}

QList<FoundUnit> UnitFinder::find() const
{
    if (interface_type == InterfaceType::Usb)
        return findDfuDevices();
    return findSerialPorts();
}

bool UnitFinder::isUsablePort(const SerialPortEntry& port)
{
    if (QSysInfo::productType() == QLatin1String("macos"))
        return port.portName.startsWith(QLatin1String("cu."));
    return true;
}

std::optional<QString> UnitFinder::productOf(const VidPid& ids) const
{
    for (const auto& [name, product] : products) {
        if (product == ids)
            return name;
    }
    return std::nullopt;
}

QList<FoundUnit> UnitFinder::findSerialPorts() const
{
    QList<FoundUnit> candidates;
    for (const SerialPortEntry& port : listSerialPorts()) {
        if (!port.vid || !port.pid || !isUsablePort(port) || !isWanted(port.portName))
            continue;
        const VidPid ids{*port.vid, *port.pid};
        if (const std::optional<QString> product = productOf(ids))
            candidates.append(FoundUnit{port.portName, ids, *product});
    }
    return candidates;
}

QList<FoundUnit> UnitFinder::findDfuDevices() const
{
    QList<FoundUnit> recognised;
    for (const DfuListingEntry& entry : runDfuEntryListing(dfu_util_path, kDfuListingTimeoutMs)) {
        const QStringList fields = entry.identifier.split(QLatin1Char(':'));
        if (fields.size() != 2)
            continue;
        const VidPid ids{config::fromHex(fields[0]), config::fromHex(fields[1])};
        // A USB path is no file: only the very same path names the unit.
        const bool wanted = only_port.isEmpty() || entry.path == only_port;
        if (const std::optional<QString> product = productOf(ids); product && wanted)
            recognised.append(FoundUnit{entry.path, ids, *product});
    }
    return recognised;
}

// A port given as a path matches its listed name or the file it resolves to,
// so /dev/ttyACM0 and ttyACM0 both name the same port.
bool UnitFinder::isWanted(const QString& port) const
{
    if (only_port.isEmpty() || port == only_port)
        return true;
    const QFileInfo wanted(only_port);
    const QString resolved = wanted.canonicalFilePath();
    return wanted.fileName() == port || (!resolved.isEmpty() && resolved == QFileInfo(port).canonicalFilePath());
}
