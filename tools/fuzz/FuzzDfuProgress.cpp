// Fuzz target: reading dfu-util's download output, the progress percentage
// and the completion line, with the output split into pieces as it is read.
#include "Stm32DfuUtilCompletionWatch.h"
#include "Stm32DfuUtilProgress.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray output(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<int> percent = stm32_updater::lastDownloadPercent(QString::fromUtf8(output));
    if (percent && *percent < 0)
        std::abort();
    // The same output read whole and read in pieces must see the same completion.
    stm32_updater::Stm32DfuUtilCompletionWatch whole;
    whole.feed(output);
    stm32_updater::Stm32DfuUtilCompletionWatch pieces;
    const qsizetype step = size > 0 ? 1 + data[0] % 17 : 1;
    for (qsizetype at = 0; at < output.size(); at += step)
        pieces.feed(output.mid(at, step));
    if (whole.completed() != pieces.completed())
        std::abort();
    return 0;
}
