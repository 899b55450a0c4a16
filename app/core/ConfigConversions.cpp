#include "ConfigConversions.h"

#include <QDebug>
#include <QStringList>

namespace config {

std::uint32_t toAddress(const QVariant& value)
{
    bool ok = false;
    const std::uint32_t converted = value.toString().trimmed().toUInt(&ok, 0);
    return ok ? converted : 0;
}

std::uint32_t toDecimal(const QVariant& value)
{
    bool ok = false;
    const std::uint32_t converted = value.toString().trimmed().toUInt(&ok, 10);
    return ok ? converted : 0;
}

std::uint16_t fromHex(const QString& text)
{
    bool ok = false;
    const std::uint16_t converted = text.trimmed().toUShort(&ok, 16);
    return ok ? converted : 0;
}

InterfaceType toInterfaceType(const QVariant& value)
{
    const QString text = value.toString();
    if (text == QLatin1String("usb"))
        return InterfaceType::Usb;
    if (text == QLatin1String("mcuboot_serial"))
        return InterfaceType::McubootSerial;
    return InterfaceType::Uart;
}

std::map<QString, VidPid> toProductTable(const QVariant& value)
{
    std::map<QString, VidPid> table;
    for (const QString& entry : value.toStringList()) {
        const QStringList fields = entry.split(QLatin1Char(':'), Qt::KeepEmptyParts);
        if (fields.size() < 3) {
            qWarning() << "product_list: skipping entry without name, vendor and product:" << entry;
            continue;
        }
        table[fields[0]] = VidPid{fromHex(fields[1]), fromHex(fields[2])};
    }
    return table;
}

static uint8_t toDeviceId(const QString& text)
{
    bool ok = false;
    const int converted = text.trimmed().toInt(&ok, 10);
    return ok ? static_cast<uint8_t>(converted & 0xFF) : 0;
}

QList<uint8_t> toDeviceIdList(const QVariant& value)
{
    QList<uint8_t> ids;
    if (!value.isValid())
        return ids;
    if (value.typeId() == QMetaType::QStringList) {
        for (const QString& item : value.toStringList())
            ids.append(toDeviceId(item));
    } else {
        ids.append(toDeviceId(value.toString()));
    }
    return ids;
}

} // namespace config
