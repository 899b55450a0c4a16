#pragma once

#include <QtGlobal>

// The most a serial back-end keeps of what a unit sent and nobody has asked
// for yet. A flooding unit then only fills this much; the rest is dropped.
constexpr qint64 kSerialReadBufferBytes = 64 * 1024;
