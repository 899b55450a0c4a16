#include "UartFlood.h"

#include "Uart.h"

#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFullWaitMs = 100;

// Writes noise into the master until told to stop; a full line only slows it.
void pourNoise(int master, const std::atomic<bool>& stop)
{
    std::vector<char> noise(4096);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 131 + 7);
    while (!stop) {
        if (::write(master, noise.data(), noise.size()) > 0)
            continue;
        if (errno != EAGAIN && errno != EINTR)
            return;
        pollfd fd{master, POLLOUT, 0};
        ::poll(&fd, 1, kFullWaitMs);
    }
}

} // namespace

std::optional<MemoryWatch::Figures> UartFlood::run(int seconds)
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return std::nullopt;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const QString portName = QString::fromLocal8Bit(::ttyname(slave));

    QSemaphore gate;
    QThread uartThread;
    auto* uart = new Uart(portName, 460800, &gate);
    std::optional<MemoryWatch::Figures> figures;
    if (uart->isOpen()) {
        uart->moveToThread(&uartThread);
        uartThread.start();
        std::atomic<bool> stop = false;
        std::thread unit(pourNoise, master, std::cref(stop));
        figures = MemoryWatch::run("uart", seconds);
        stop = true;
        unit.join();
        QMetaObject::invokeMethod(uart, [uart] { delete uart; }, Qt::BlockingQueuedConnection);
        uartThread.quit();
        uartThread.wait();
    } else {
        delete uart;
    }
    ::close(master);
    ::close(slave);
    return figures;
}
