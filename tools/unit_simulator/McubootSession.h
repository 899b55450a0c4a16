#pragma once

#include "CborValue.h"
#include "McubootUnit.h"
#include "PtyLink.h"
#include "ReceiveBudget.h"
#include "SimOptions.h"
#include "SmpLineCodec.h"

// Runs the MCUboot unit on the link: receives request lines, logs them,
// answers them (with the framing faults applied) until stopped.
class McubootSession {
public:
    McubootSession(const SimOptions& options, PtyLink& link, McubootUnit& unit);

    // Returns when a stop was requested, the cable was pulled, or after a
    // reset when the unit is to exit then.
    void run();

private:
    // False when the session has to end.
    bool handle(const SmpLineCodec::Received& frame);
    void logRequest(const SmpPacket& request, const std::optional<CborValue>& body) const;
    SmpResponseStyle responseStyle() const;

    const SimOptions& options;
    PtyLink& link;
    McubootUnit& unit;
    SmpLineCodec codec;
    ReceiveBudget budget;
    unsigned requestCount = 0;
};
