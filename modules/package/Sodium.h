#pragma once

namespace package {

// Initialises libsodium once per process; false when it cannot be used.
bool sodiumReady();

} // namespace package
