#pragma once

#include <QString>
#include <optional>

// What a back-end can read about the connected unit without writing anything
// to it. Back-ends that cannot read their unit's identity do not offer it.
// Called on the back-end's own thread, with the link open.
class IdentityReader {
public:
    virtual std::optional<int> readModelId() = 0;
    // Empty when the unit holds none.
    virtual QString readSerialNumber() = 0;

protected:
    ~IdentityReader() = default;
};
