#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>

// A real serial port on the simulator's path, with bounded exchanges.
class SerialTestPort {
public:
    explicit SerialTestPort(const QString& path, qint32 baud = 921600, QSerialPort::Parity parity = QSerialPort::NoParity);

    bool isOpen() const { return port.isOpen(); }
    bool send(const QByteArray& bytes);
    // Sends and collects the answer: everything until a line end followed by
    // a quiet moment, or until the time budget runs out.
    QByteArray exchangeLine(const QByteArray& frame, int timeoutMs = 2000);
    // Collects exactly `count` bytes or what came within the budget.
    QByteArray receive(qsizetype count, int timeoutMs = 2000);

private:
    QSerialPort port;
};
