// Fuzz target: the parser of dfu-util's device listing.
#include "DfuListing.h"

#include <QByteArray>
#include <QRegularExpression>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QRegularExpression pair(QStringLiteral("^[0-9a-fA-F]{4}:[0-9a-fA-F]{4}$"));
    const QString output = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList identifiers = parseDfuListing(output);
    // At most one pair per line, and each one well formed.
    if (identifiers.size() > output.count(QLatin1Char('\n')) + 1)
        std::abort();
    for (const QString& identifier : identifiers) {
        if (!pair.match(identifier).hasMatch())
            std::abort();
    }
    return 0;
}
