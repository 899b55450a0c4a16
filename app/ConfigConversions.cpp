#include "ConfigConversions.h"

#include "ConfigValueWarning.h"

#include <QDebug>
#include <QStringList>
#include <optional>

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

// An entry that is not a decimal number (or is empty) is skipped: reading it
// as 0 would admit units that carry no model identifier.
static std::optional<uint8_t> toDeviceId(const QString& text)
{
    const QString entry = text.trimmed();
    bool ok = false;
    const int converted = entry.toInt(&ok, 10);
    if (!ok) {
        warnConfigValue(QStringLiteral("device_id_list"), entry, QStringLiteral("is not a decimal number"),
                        QStringLiteral("entry skipped"));
        return std::nullopt;
    }
    return static_cast<uint8_t>(converted & 0xFF);
}

QList<uint8_t> toDeviceIdList(const QVariant& value)
{
    QList<uint8_t> ids;
    if (!value.isValid())
        return ids;
    const QStringList items =
        value.typeId() == QMetaType::QStringList ? value.toStringList() : QStringList{value.toString()};
    for (const QString& item : items) {
        if (const std::optional<uint8_t> id = toDeviceId(item))
            ids.append(*id);
    }
    return ids;
}

} // namespace config
