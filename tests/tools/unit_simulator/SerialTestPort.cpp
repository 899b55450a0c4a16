#include "SerialTestPort.h"

#include <QDeadlineTimer>

namespace {
constexpr int kQuietAfterLineMs = 60;
}

SerialTestPort::SerialTestPort(const QString& path, qint32 baud, QSerialPort::Parity parity)
{
    port.setPortName(path);
    port.setBaudRate(baud);
    port.setParity(parity);
    if (port.open(QIODevice::ReadWrite))
        port.clear();
}

bool SerialTestPort::send(const QByteArray& bytes)
{
    if (port.write(bytes) != bytes.size())
        return false;
    while (port.bytesToWrite() > 0) {
        if (!port.waitForBytesWritten(1000))
            return false;
    }
    return true;
}

QByteArray SerialTestPort::exchangeLine(const QByteArray& frame, int timeoutMs)
{
    QByteArray received;
    if (!send(frame))
        return received;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const bool lineDone = received.endsWith('\n');
        const int wait = lineDone ? kQuietAfterLineMs : int(deadline.remainingTime());
        if (!port.waitForReadyRead(wait)) {
            if (lineDone)
                break;
            continue;
        }
        received += port.readAll();
    }
    return received + port.readAll();
}

QByteArray SerialTestPort::receive(qsizetype count, int timeoutMs)
{
    QByteArray received = port.readAll();
    QDeadlineTimer deadline(timeoutMs);
    while (received.size() < count && !deadline.hasExpired()) {
        if (port.waitForReadyRead(int(deadline.remainingTime())))
            received += port.readAll();
    }
    return received;
}
