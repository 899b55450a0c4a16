#include "Sodium.h"

#include <sodium.h>

namespace package {

bool sodiumReady()
{
    // sodium_init is safe to call from several threads and more than once.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace package
