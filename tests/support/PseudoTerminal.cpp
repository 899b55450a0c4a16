#include "PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    slaveName = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave >= 0)
        close(slave);
    if (master >= 0)
        close(master);
}

bool PseudoTerminal::send(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (written > 0)
            done += written;
    }
    return true;
}

QByteArray PseudoTerminal::receive(int count, int timeoutMs)
{
    QByteArray received;
    while (received.size() < count) {
        pollfd readable{master, POLLIN, 0};
        if (poll(&readable, 1, timeoutMs) <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(master, buffer, std::min<size_t>(sizeof buffer, size_t(count - received.size())));
        if (got <= 0)
            break;
        received.append(buffer, got);
    }
    return received;
}
