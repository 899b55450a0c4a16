#pragma once

#include "VidPid.h"

#include <QString>

// A unit that counts as connected under the configuration: the serial port to
// open (or, for a DFU device, the USB path the listing gave), its USB
// identifiers and the name of the product_list entry they matched.
struct FoundUnit {
    QString port;
    VidPid ids;
    QString product;

    QString idsText() const
    {
        return QStringLiteral("%1:%2").arg(ids.vid, 4, 16, QLatin1Char('0')).arg(ids.pid, 4, 16, QLatin1Char('0'));
    }
};
