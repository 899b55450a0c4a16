#include "SerialPortList.h"

#include "VirtualPorts.h"

#include <QSerialPortInfo>

QList<SerialPortEntry> listSerialPorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry{info.portName(), std::nullopt, std::nullopt};
        if (info.hasVendorIdentifier())
            entry.vid = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            entry.pid = info.productIdentifier();
        ports.append(entry);
    }
    ports.append(VirtualPorts::present());
    return ports;
}
