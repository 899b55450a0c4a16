#pragma once

#include "IUartDriver.h"

#include <QMetaType>

// The receive callback crosses from the worker thread to the serial thread in
// a queued call, so the meta-type system must know it by its written name.
Q_DECLARE_METATYPE(hal::uart::RxByte_ISR)

// Registers hal::uart::RxByte_ISR under exactly that name. Safe to call more
// than once.
void registerRxCallbackMetaType();
