#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// Writes a raw Cortex-M application as `objcopy -O binary` leaves it: a
// vector table whose stack pointer lies in SRAM and whose Thumb reset handler
// points into the image itself, then code-like filler.
class Stm32ImageBuilder {
public:
    static constexpr quint32 kDefaultAddress = 0x08000000;
    static constexpr quint32 kDefaultStackPointer = 0x20020000;

    explicit Stm32ImageBuilder(quint32 programmingAddress = kDefaultAddress);

    Stm32ImageBuilder& size(qsizetype bytes);
    Stm32ImageBuilder& stackPointer(quint32 value);
    Stm32ImageBuilder& resetHandler(quint32 value);

    QByteArray build() const;
    // The default reset handler: odd, a little after the vector table.
    quint32 defaultResetHandler() const;

private:
    quint32 address;
    qsizetype bytes = 4096;
    quint32 stack = kDefaultStackPointer;
    std::optional<quint32> reset;
};
