// Fuzz target: the response map lookups and the diagnostic dump.
#include "McubootSerialUpdater.h"
#include "QuietMessages.h"

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quietMessages();
    // No copy: a read past `size` lands outside the fuzzer's buffer.
    const QByteArray payload = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    McubootSerialUpdater::cborDecodeMapInt(payload, "rc");
    McubootSerialUpdater::cborDecodeMapInt(payload, "off");
    const std::optional<QByteArray> value = McubootSerialUpdater::cborDecodeMapBstr(payload, "data");
    if (value && value->size() > payload.size())
        std::abort();
    McubootSerialUpdater::dumpSmpCbor(payload, QStringLiteral("fuzz"));
    return 0;
}
