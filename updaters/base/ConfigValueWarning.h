#pragma once

#include <QString>

// One line in the message log for a config.ini value that does not convert or
// cannot work: `key: "value" problem; instead`, e.g.
// `mcuboot_baud: "0" is not a usable baud rate; using 0, so no unit answers`.
void warnConfigValue(const QString& key, const QString& value, const QString& problem, const QString& instead);
