#pragma once

#include "IUartDriver.h"

#include <QByteArray>
#include <mutex>

// Collects the bytes handed to a receive callback on the serial thread, for
// the test's thread to read.
class ByteRecorder {
public:
    hal::uart::RxByte_ISR callback();
    QByteArray bytes() const;

private:
    mutable std::mutex lock;
    QByteArray received;
};
