#include "Stm32DfuUtilCompletionWatch.h"

namespace stm32_updater {

namespace {

const QByteArray kCompletionLine = QByteArrayLiteral("File downloaded successfully");

} // namespace

void Stm32DfuUtilCompletionWatch::reset()
{
    tail.clear();
    seen = false;
}

void Stm32DfuUtilCompletionWatch::feed(const QByteArray& piece)
{
    if (seen)
        return;
    const QByteArray text = tail + piece;
    seen = text.contains(kCompletionLine);
    tail = text.right(kCompletionLine.size() - 1);
}

} // namespace stm32_updater
