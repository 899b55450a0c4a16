#pragma once

#include "InterfaceType.h"
#include "VidPid.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <map>

// Conversions of config.ini values. None of them fails: text that does not
// convert gives 0 (or an empty result), so a bad file never stops start-up.
namespace config {

// "0x" prefix hexadecimal, leading "0" octal, otherwise decimal.
std::uint32_t toAddress(const QVariant& value);
// Base 10 only, so "0x100" gives 0.
std::uint32_t toDecimal(const QVariant& value);
std::uint16_t fromHex(const QString& text);

InterfaceType toInterfaceType(const QVariant& value);

// Entries "name:vvvv:pppp"; a later entry with the same name replaces an earlier
// one. Entries with fewer than three fields are skipped with a warning.
std::map<QString, VidPid> toProductTable(const QVariant& value);

// One integer or a list of integers; each keeps its low 8 bits.
QList<uint8_t> toDeviceIdList(const QVariant& value);

} // namespace config
