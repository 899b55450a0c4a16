#pragma once

#include "SmpTestPeer.h"

#include <QByteArray>
#include <QMap>
#include <cstdint>
#include <functional>

// What the pseudo-terminal peer answers, per request kind, as CBOR payloads.
// An empty payload means: stay silent.
struct ScriptedUnit {
    QByteArray probeReply;
    // Called with the request's "off", its data length and the upload request's index.
    std::function<QByteArray(int off, int length, int index)> uploadReply;
    QMap<uint32_t, QByteArray> otpReplies;

    ScriptedUnit();

    // A responder for SmpTestPeer that frames the scripted payloads.
    SmpTestPeer::Responder responder() const;

    static QByteArray nextOffset(int off);
};
