#pragma once

#include "OtpError.h"

#include <utility>
#include <variant>

namespace otp {

// The value of a successful operation or the reason it failed.
template <typename T>
class OtpResult {
public:
    OtpResult(T value) : state(std::in_place_index<0>, std::move(value)) {}
    OtpResult(OtpError error) : state(std::in_place_index<1>, error) {}

    bool hasValue() const { return state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    // Only meaningful when hasValue() is true.
    const T& value() const { return std::get<0>(state); }
    // Only meaningful when hasValue() is false.
    OtpError error() const { return std::get<1>(state); }

private:
    std::variant<T, OtpError> state;
};

// Outcome of a write: success carries no value.
using OtpStatus = OtpResult<std::monostate>;

inline OtpStatus otpSuccess()
{
    return OtpStatus(std::monostate{});
}

} // namespace otp
