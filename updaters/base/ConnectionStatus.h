#pragma once

#include <QList>
#include <QMetaType>
#include <cstdint>

// Outcome of a connection or disconnection request, reported by a back-end.
enum ConnectionStatus : std::int32_t {
    Connected = 0,
    Disconnected = 1,
    DeviceMismatch = 2,
};

Q_DECLARE_METATYPE(ConnectionStatus)

// Registers the types that travel through queued connections between the
// window and a back-end on its worker thread. Safe to call more than once.
void registerUpdaterMetaTypes();
