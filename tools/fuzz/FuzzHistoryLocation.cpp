// Fuzz target: a history= value or --history URL, as a person or a config
// file hands it over.
#include "HistoryLocation.h"
#include "QuietMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quietMessages();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<HistoryLocation> location = HistoryLocation::parse(text, QStringLiteral("/default"), error);
    if (!location) {
        // A refusal always says why.
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    if (location->port < 0 || location->port > 65535)
        std::abort();
    // What goes into messages does not depend on the password at all.
    HistoryLocation withoutPassword = *location;
    withoutPassword.password.clear();
    if (location->describe() != withoutPassword.describe())
        std::abort();
    return 0;
}
