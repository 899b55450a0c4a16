#include "Stm32ImageBuilder.h"

#include "LittleEndianBytes.h"
#include "WindowTexts.h"

namespace {

// The reset handler sits right after a short vector table, as in a small
// application; smaller images get it at their middle.
constexpr qsizetype kResetHandlerOffset = 0x1C0;

} // namespace

Stm32ImageBuilder::Stm32ImageBuilder(quint32 programmingAddress) : address(programmingAddress) {}

Stm32ImageBuilder& Stm32ImageBuilder::size(qsizetype value)
{
    bytes = value;
    return *this;
}

Stm32ImageBuilder& Stm32ImageBuilder::stackPointer(quint32 value)
{
    stack = value;
    return *this;
}

Stm32ImageBuilder& Stm32ImageBuilder::resetHandler(quint32 value)
{
    reset = value;
    return *this;
}

quint32 Stm32ImageBuilder::defaultResetHandler() const
{
    const qsizetype offset = qMin(kResetHandlerOffset, bytes / 2);
    return (address + static_cast<quint32>(offset)) | 1u;
}

QByteArray Stm32ImageBuilder::build() const
{
    QByteArray image = makeTestImage(static_cast<int>(qMax<qsizetype>(bytes, 8)));
    putLe32(image, 0, stack);
    putLe32(image, 4, reset.value_or(defaultResetHandler()));
    return image.left(bytes);
}
