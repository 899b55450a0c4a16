#pragma once

#include "FoundUnit.h"

#include <QJsonObject>

// The "found" event of a unit: port, USB identifiers as four hexadecimal
// digits each, and the product name.
inline QJsonObject foundEvent(const FoundUnit& unit)
{
    const QString ids = unit.idsText();
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("found")},
                       {QStringLiteral("port"), unit.port},
                       {QStringLiteral("vid"), ids.left(4)},
                       {QStringLiteral("pid"), ids.mid(5)},
                       {QStringLiteral("product"), unit.product}};
}
