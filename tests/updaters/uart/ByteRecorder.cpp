#include "ByteRecorder.h"

hal::uart::RxByte_ISR ByteRecorder::callback()
{
    return [this](std::byte value) {
        const std::lock_guard guard(lock);
        received.append(static_cast<char>(value));
    };
}

QByteArray ByteRecorder::bytes() const
{
    const std::lock_guard guard(lock);
    return received;
}
