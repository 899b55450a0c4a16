#pragma once

#include <QByteArray>

namespace stm32_updater {

// Watches a download's output, read piece by piece, for the line dfu-util
// prints once the whole image is written. That line can be split across pieces.
class Stm32DfuUtilCompletionWatch {
public:
    void reset();
    void feed(const QByteArray& piece);
    bool completed() const { return seen; }

private:
    QByteArray tail;
    bool seen = false;
};

} // namespace stm32_updater
