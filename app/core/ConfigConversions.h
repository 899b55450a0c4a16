#pragma once

#include "InterfaceType.h"
#include "VidPid.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <map>
#include <optional>

// Conversions of config.ini values. None of them fails: text that does not
// convert gives 0 (or an empty result), so a bad file never stops start-up;
// the list conversions name what they could not use in a warning.
namespace config {

// "0x" prefix hexadecimal, leading "0" octal, otherwise decimal.
std::uint32_t toAddress(const QVariant& value);
// Base 10 only, so "0x100" gives 0.
std::uint32_t toDecimal(const QVariant& value);
// The same rules, but empty when the text does not convert, so the caller can
// name the value in a warning.
std::optional<std::uint32_t> parseAddress(const QVariant& value);
std::optional<std::uint32_t> parseDecimal(const QVariant& value);
std::uint16_t fromHex(const QString& text);
// "true" or "false", in any case; empty for anything else.
std::optional<bool> parseBool(const QVariant& value);

InterfaceType toInterfaceType(const QVariant& value);

// Entries "name:vvvv:pppp"; a later entry with the same name replaces an earlier
// one. Entries with fewer than three fields are skipped, identifiers that are
// not hexadecimal become 0 and an empty table is named, each with a warning.
std::map<QString, VidPid> toProductTable(const QVariant& value);

// One integer or a list of integers from 0 to 255. Entries that are not
// numbers, lie outside that range or are empty are skipped with a warning.
QList<uint8_t> toDeviceIdList(const QVariant& value);

} // namespace config
