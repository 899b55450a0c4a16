#pragma once

#include <cstdint>

// Receives the dispatcher's fast notifications: a source receiver and an opaque
// 64-bit value passed through unchanged.
class IFastListener {
public:
    virtual void OnFastMessage(std::uint8_t source, std::uint64_t value) = 0;

protected:
    ~IFastListener() = default;
};
