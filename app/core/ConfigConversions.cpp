#include "ConfigConversions.h"

#include "ConfigValueWarning.h"

#include <QStringList>
#include <optional>

namespace config {

std::optional<std::uint32_t> parseAddress(const QVariant& value)
{
    bool ok = false;
    const std::uint32_t converted = value.toString().trimmed().toUInt(&ok, 0);
    return ok ? std::optional(converted) : std::nullopt;
}

std::optional<std::uint32_t> parseDecimal(const QVariant& value)
{
    bool ok = false;
    const std::uint32_t converted = value.toString().trimmed().toUInt(&ok, 10);
    return ok ? std::optional(converted) : std::nullopt;
}

std::uint32_t toAddress(const QVariant& value)
{
    return parseAddress(value).value_or(0);
}

std::uint32_t toDecimal(const QVariant& value)
{
    return parseDecimal(value).value_or(0);
}

static std::optional<std::uint16_t> parseHex(const QString& text)
{
    bool ok = false;
    const std::uint16_t converted = text.trimmed().toUShort(&ok, 16);
    return ok ? std::optional(converted) : std::nullopt;
}

std::uint16_t fromHex(const QString& text)
{
    return parseHex(text).value_or(0);
}

std::optional<bool> parseBool(const QVariant& value)
{
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

InterfaceType toInterfaceType(const QVariant& value)
{
    const QString text = value.toString();
    if (text == QLatin1String("usb"))
        return InterfaceType::Usb;
    if (text == QLatin1String("mcuboot_serial"))
        return InterfaceType::McubootSerial;
    // "uart" is what the sample file writes for the default.
    if (value.isValid() && text != QLatin1String("uart"))
        warnConfigValue(QStringLiteral("interface"), text, QStringLiteral("is not usb, mcuboot_serial or uart"),
                        QStringLiteral("using the STM32 bootloader over UART"));
    return InterfaceType::Uart;
}

// A USB identifier of an entry; one that does not convert is 0, which no unit has.
static std::uint16_t entryIdentifier(const QString& entry, const QString& field, const char* what)
{
    const std::optional<std::uint16_t> identifier = parseHex(field);
    if (!identifier)
        warnConfigValue(QStringLiteral("product_list"), entry,
                        QStringLiteral("has a %1 \"%2\" that is not 1 to 4 hexadecimal digits")
                            .arg(QLatin1String(what), field),
                        QStringLiteral("using 0000, which matches no unit"));
    return identifier.value_or(0);
}

std::map<QString, VidPid> toProductTable(const QVariant& value)
{
    std::map<QString, VidPid> table;
    for (const QString& entry : value.toStringList()) {
        const QStringList fields = entry.split(QLatin1Char(':'), Qt::KeepEmptyParts);
        if (fields.size() < 3) {
            warnConfigValue(QStringLiteral("product_list"), entry,
                            QStringLiteral("is not name:vendor:product"), QStringLiteral("entry skipped"));
            continue;
        }
        table[fields[0]] = VidPid{entryIdentifier(entry, fields[1], "vendor identifier"),
                                  entryIdentifier(entry, fields[2], "product identifier")};
    }
    if (value.toStringList().isEmpty())
        warnConfigValue(QStringLiteral("product_list"), value.toStringList().join(QStringLiteral(", ")),
                        QStringLiteral("lists no unit"), QStringLiteral("no unit will ever be found"));
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
    // Cutting 300 to its low 8 bits would admit units of model 44.
    if (converted < 0 || converted > 0xFF) {
        warnConfigValue(QStringLiteral("device_id_list"), entry,
                        QStringLiteral("is not a model identifier from 0 to 255"), QStringLiteral("entry skipped"));
        return std::nullopt;
    }
    return static_cast<uint8_t>(converted);
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
